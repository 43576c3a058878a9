"""A connection to the adapter and the operations on the chip behind it."""

from __future__ import annotations

import ctypes
import os
from types import TracebackType
from typing import Callable, List, Optional, Tuple, Type, Union, overload

from .catalogue import find_device, port_names
from .errors import (FileError, InUseError, NotSupported, PortError, SettingRefused, VerifyError,
                     ZylispError)
from .formats import Format, format_for
from .library import (AREA_EEPROM, MODE_PARALLEL, MODE_SERIAL, ProgressHandler, caller, check,
                      failure, lib)
from .stoppable_call import run_stoppable

ProgressCallback = Callable[[int, int], None]
PathLike = Union[str, "os.PathLike[str]"]
Data = Union[bytes, bytearray, memoryview]


class Programmer:
    """The adapter on one port, with one part selected; holds the connection
    from construction until close() (or the end of a with block).

    ``port`` is "COMn" (the n-th serial device) or "LPTn" (parallel port n);
    ``device`` a part name of devices(), in any case. ``progress``, when
    given, is called as progress(done, total) with byte counts while an
    operation runs, on the thread that runs the library call (a worker
    thread when the operation was started from the main thread). The (-1,
    -1) the serial link reports while it synchronises is not passed on; an
    operation that succeeds ends with (total, total). A progress callback
    that raises stops the operation at its next page boundary; its
    exception is raised when the operation has ended.

    Threads: the library serves one caller at a time and one connection
    per process. A second Programmer while one is open raises InUseError;
    a call from another thread while one runs waits for it to end; calling
    the library from inside a progress callback raises InUseError.

    Ctrl-C: an operation started from the main thread stops at its next
    page boundary, leaves the adapter ready and the connection usable, and
    then raises KeyboardInterrupt (whose __cause__ is the Cancelled). The
    chip keeps every page written before the stop.

    Attributes: ``port`` ("COM1"), ``device`` (the catalogue's spelling),
    ``bus`` ("I2C", "SPI" or "Microwire"), ``size`` (bytes of the chip).
    Settings, each starting afresh with every Programmer: ``organisation``,
    ``bus_address``, ``page_size`` and ``ignore_checksums``.
    """

    def __init__(self, port: str, device: str, progress: Optional[ProgressCallback] = None) -> None:
        self._open = False
        self._progress = progress
        self._callback_error: Optional[BaseException] = None
        # Kept on the object: the library holds only the C pointer.
        self._handler = ProgressHandler(self._on_progress)
        self._lib = lib()
        found = find_device(device)
        self.port = port.upper()
        self.device, self.bus = found or (device, "")
        self.size = 0
        self._organisation = 8
        self._bus_address = 0xA0
        self._page_size = 0
        self._ignore_checksums = False
        self._last_progress: Optional[Tuple[int, int]] = None
        context = f"open {device} on {port}"
        if self.port.startswith("COM"):
            mode = MODE_SERIAL
        elif self.port.startswith("LPT"):
            mode = MODE_PARALLEL
        else:
            raise PortError(4, f"unknown port name {port!r}", "ports are named COMn or LPTn", context)
        with caller.held() as library:
            if caller.programmer is not None:
                raise InUseError(f"a Programmer is open already ({caller.programmer!r}); "
                                 "the library holds one connection per process")
            if found is None:
                raise failure(library.Zyl_SetDevice(device.encode("ascii", "replace")), context)
            if library.Zyl_InitProgrammer(self.port.encode(), self.device.encode(), mode) != 0:
                known = port_names(library, mode)
                raise PortError(4, f"there is no port {self.port}",
                                f"the ports of this kind are: {', '.join(known) or 'none'}", context)
            library.Zyl_SetProgressHandler(self._handler)
            code = library.Zyl_PROG_Open()
            if code != 0:
                error = failure(code, context)
                library.Zyl_PROG_Close()
                library.Zyl_SetProgressHandler(ProgressHandler())
                raise error
            self.size = library.Zyl_GetBufferSize(AREA_EEPROM)
            page = ctypes.c_int32()
            library.Zyl_GetDeviceInfo(self.device.encode(), None, None, ctypes.byref(page))
            self._page_size = page.value
            # The library keeps this one across connections.
            library.Zyl_SetIgnoreChecksums(0)
            self._open = True
            caller.programmer = self

    def __repr__(self) -> str:
        state = "open" if self._open else "closed"
        return f"<zylisp.Programmer {self.device} on {self.port}, {state}>"

    def __enter__(self) -> "Programmer":
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], value: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None:
        self.close()

    def close(self) -> None:
        """Ends the connection; a second close does nothing."""
        with caller.held() as library:
            if not self._open:
                return
            self._open = False
            caller.programmer = None
            code = library.Zyl_PROG_Close()
            error = failure(code, f"close {self.port}") if code != 0 else None
            library.Zyl_SetProgressHandler(ProgressHandler())
            if error is not None:
                raise error

    @property
    def closed(self) -> bool:
        return not self._open

    @property
    def firmware_version(self) -> str:
        """The adapter's firmware version, "N/A" when it cannot be reached."""
        with caller.held() as library:
            self._require_open()
            return library.Zyl_GetFWVersion().decode("ascii", "replace")

    def stop(self) -> None:
        """Asks the running operation to stop at its next page boundary; it
        then raises Cancelled. Safe from any thread and from a progress
        callback; a request made while nothing runs is forgotten."""
        self._lib.Zyl_RequestStop()

    def erase(self) -> None:
        """Erases the whole chip."""
        with caller.held() as library:
            self._require_open()
            self._operate("erase", library.Zyl_EraseAllDevice)

    def program(self, data: Union[PathLike, Data]) -> None:
        """Writes a data file (Intel hex, Motorola, Tektronix, or binary for
        anything else), or bytes of at most ``size``; the rest of the chip
        is written with 0xFF."""
        self._with_data("program", data, "Zyl_ProgramEEPROM")

    def verify(self, data: Union[PathLike, Data]) -> None:
        """Compares the chip with a data file or with bytes (the rest of the
        chip as 0xFF); raises VerifyError when they differ."""
        self._with_data("verify", data, "Zyl_VerifyEEPROM")

    @overload
    def read(self) -> bytes: ...

    @overload
    def read(self, path: PathLike, format: Optional[Format] = None) -> None: ...

    def read(self, path: Optional[PathLike] = None, format: Optional[Format] = None) -> Optional[bytes]:
        """Reads the whole chip: returns its bytes, or with a path writes
        them into that file in format (by default the one its suffix
        suggests, see format_for). A file that cannot be written is found
        out before the chip is read."""
        with caller.held() as library:
            self._require_open()
            if path is None:
                self._operate("read", lambda: library.Zyl_ReadEEPROM(None, 0))
                byte = library.Zyl_ANSI_ReadBuffer
                return bytes(byte(AREA_EEPROM, address) for address in range(self.size))
            name = os.fsencode(os.fspath(path))
            chosen = Format(format) if format is not None else format_for(path)
            check(library.Zyl_CheckFile(name, 1), self._context("read", path))
            self._operate("read", lambda: library.Zyl_ReadEEPROM(name, int(chosen)), path)
            return None

    @property
    def status(self) -> int:
        """The status register of an SPI or DataFlash part. Other parts have
        none: NotSupported. A failed read raises, never gives a value."""
        with caller.held() as library:
            self._require_open()
            byte = ctypes.c_uint8()
            self._operate("read status", lambda: library.Zyl_GetStatusByte(ctypes.byref(byte)))
            return byte.value

    @status.setter
    def status(self, value: int) -> None:
        if not 0 <= value <= 0xFF:
            raise ValueError(f"a status byte is 0..255, not {value}")
        with caller.held() as library:
            self._require_open()
            # On a Microwire part the same call would fill the whole chip.
            if self.bus != "SPI":
                raise NotSupported(11, "only SPI parts have a status register",
                                   f"{self.device} is a {self.bus} part", self._context("write status"))
            self._operate("write status", lambda: library.Zyl_WriteStatus(value))

    @property
    def organisation(self) -> int:
        """How a Microwire part is wired: 8 (bytes, the default) or 16 (words)."""
        return self._organisation

    @organisation.setter
    def organisation(self, bits: int) -> None:
        if bits not in (8, 16):
            raise ValueError(f"a Microwire organisation is 8 or 16, not {bits}")
        self._set("organisation", "Zyl_WriteProgMode", bits)
        self._organisation = bits

    @property
    def bus_address(self) -> int:
        """The I2C control byte the part answers to with its address pins
        (0xA0, the default, for pins all low)."""
        return self._bus_address

    @bus_address.setter
    def bus_address(self, address: int) -> None:
        if not 0 <= address <= 0xFF:
            raise ValueError(f"a bus address is 0..255, not {address}")
        self._set("bus address", "Zyl_SetBusAddress", address)
        self._bus_address = address

    @property
    def page_size(self) -> int:
        """Bytes written in one page write: the part's write page by
        default; a smaller one may be set, 0 or a larger one raises
        SettingRefused."""
        return self._page_size

    @page_size.setter
    def page_size(self, size: int) -> None:
        if not 0 <= size <= 0xFF:
            raise ValueError(f"a page size is 0..255, not {size}")
        self._set("page size", "Zyl_SetPageSize", size)
        self._page_size = size

    @property
    def ignore_checksums(self) -> bool:
        """True loads data files whose record checksums are wrong (for
        hand-edited files); False, the default, refuses them."""
        return self._ignore_checksums

    @ignore_checksums.setter
    def ignore_checksums(self, ignore: bool) -> None:
        self._set("ignore checksums", "Zyl_SetIgnoreChecksums", int(bool(ignore)))
        self._ignore_checksums = bool(ignore)

    def _set(self, what: str, export: str, value: int) -> None:
        with caller.held() as library:
            self._require_open()
            code = getattr(library, export)(value)
            if code != 0:
                # The library's text for code 1 speaks of files; its detail names the cause.
                detail = (library.Zyl_GetErrorDetail() or b"").decode("utf-8", "replace")
                raise SettingRefused(code, f"{what} {value} refused", detail,
                                     self._context(f"set {what} for"))

    def _context(self, what: str, path: Optional[PathLike] = None) -> str:
        text = f"{what} {self.device} on {self.port}"
        if path is None:
            return text
        preposition = {"program": "from", "verify": "against", "read": "into"}[what]
        return f"{text} {preposition} {os.fspath(path)}"

    def _require_open(self) -> None:
        if not self._open:
            raise ValueError(f"{self!r} is used after close()")

    def _with_data(self, what: str, data: Union[PathLike, Data], export: str) -> None:
        with caller.held() as library:
            self._require_open()
            run = getattr(library, export)
            if isinstance(data, (bytes, bytearray, memoryview)):
                # A blank image would erase the whole chip instead.
                if not len(data):
                    raise FileError(1, "no data", f"there are no bytes to {what}", self._context(what))
                self._load_image(library, bytes(data), what)
                self._operate(what, lambda: run(None))
                return
            name = os.fsencode(os.fspath(data))
            check(library.Zyl_CheckFile(name, 0), self._context(what, data))
            self._operate(what, lambda: run(name), data)

    def _load_image(self, library: ctypes.CDLL, data: bytes, what: str) -> None:
        if len(data) > self.size:
            raise ValueError(f"{len(data)} bytes do not fit the {self.size} bytes of the {self.device}")
        check(library.Zyl_ClearBuffer(AREA_EEPROM), self._context(what))
        write = library.Zyl_WriteBuffer
        for address, value in enumerate(data):
            code = write(AREA_EEPROM, address, value)
            if code != 0:
                raise failure(code, self._context(what))

    def _operate(self, what: str, call: Callable[[], int], path: Optional[PathLike] = None) -> None:
        """Runs one chip operation and raises what its end calls for."""
        self._callback_error = None
        self._last_progress = None
        result, interrupted = run_stoppable(call)
        context = self._context(what, path)
        error: Optional[ZylispError] = failure(result, context) if result != 0 else None
        if isinstance(error, VerifyError):
            error = self._differences(error)
        callback_error, self._callback_error = self._callback_error, None
        if interrupted:
            raise KeyboardInterrupt(f"{context}: stopped by Ctrl-C") from (callback_error or error)
        if callback_error is not None:
            raise callback_error from error
        if error is not None:
            raise error
        last = self._last_progress
        if self._progress is not None and last is not None and last[0] != last[1]:
            self._progress(last[1], last[1])

    def _differences(self, error: ZylispError) -> VerifyError:
        """The failure of a verify, with the addresses that differ."""
        library = self._lib
        differences: List[Tuple[int, int, int]] = []
        address, chip, image = ctypes.c_int32(), ctypes.c_uint8(), ctypes.c_uint8()
        for index in range(library.Zyl_GetDifferenceCount()):
            if library.Zyl_GetDifference(index, ctypes.byref(address), ctypes.byref(chip),
                                         ctypes.byref(image)) == 0:
                differences.append((address.value, chip.value, image.value))
        count = len(differences)
        detail = f"{count} byte differs" if count == 1 else f"{count} bytes differ"
        if error.detail:
            detail = f"{detail}; {error.detail}"
        return VerifyError(error.code, error.text, detail, error.context, differences)

    def _on_progress(self, done: int, total: int) -> None:
        if self._progress is None or done < 0 or total <= 0 or self._callback_error is not None:
            return
        self._last_progress = (done, total)
        try:
            self._progress(done, total)
        except BaseException as e:  # a callback cannot raise through the library
            self._callback_error = e
            self._lib.Zyl_RequestStop()
