"""A connection to the adapter and the operations on the chip behind it."""

from __future__ import annotations

import ctypes
import operator
import os
import threading
import weakref
from contextlib import contextmanager
from types import TracebackType
from typing import Callable, Iterator, List, Optional, Tuple, Type, Union, overload

from .catalogue import find_device, write_page
from .errors import FileError, NotSupported, PortError, SettingRefused, VerifyError, ZylispError
from .formats import Format, format_for
from .library import Difference, SessionProgressHandler, Turn, check, failure, lib
from .stoppable_call import run_stoppable, watch_ctrl_c

ProgressCallback = Callable[[int, int], None]
PathLike = Union[str, "os.PathLike[str]"]
Data = Union[bytes, bytearray, memoryview]


class _Session:
    """The library session of one Programmer, with what has to live as long
    as it does. Kept apart from the Programmer so that its finaliser can
    free the session without keeping the Programmer alive."""

    def __init__(self, library: ctypes.CDLL, handler: SessionProgressHandler, what: str) -> None:
        self.library = library
        self.handler = handler  # the library holds only its C pointer
        self.pointer: Optional[int] = None
        self.turn = Turn(what)
        self._guard = threading.Lock()  # between stop() and destroy()

    def stop(self) -> None:
        # Never waits (it may run in a signal handler): a stop that finds
        # the session being freed has nothing left to stop.
        if self._guard.acquire(blocking=False):
            try:
                if self.pointer is not None:
                    self.library.Zyl_SessionRequestStop(self.pointer)
            finally:
                self._guard.release()

    def destroy(self) -> None:
        """Closes the session's connection and frees it; once."""
        with self._guard:
            pointer, self.pointer = self.pointer, None
        if pointer is not None:
            self.library.Zyl_SessionDestroy(pointer)


def _release(session: _Session) -> None:
    """The finaliser of a Programmer never closed: frees its session, unless
    a thread still runs a call on it (at the interpreter's exit)."""
    if session.turn.try_hold():
        try:
            session.destroy()
        finally:
            session.turn.release()


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

    Threads: each Programmer has a session of its own in the library, so
    several Programmers, each on its own port, may work at the same time in
    one thread or in several. One Programmer serves one call at a time: a
    call from another thread while one runs waits for it to end. Calling
    any Programmer from inside a progress callback raises InUseError
    (stop() excepted). ports() and devices() may be called at any time.

    Ctrl-C: an operation started from the main thread stops at its next
    page boundary, leaves the adapter ready and the connection usable, and
    then raises KeyboardInterrupt (whose __cause__ is the Cancelled); the
    operations that other threads run at that moment stop the same way and
    raise Cancelled. While the main thread runs no operation, Python raises
    KeyboardInterrupt there as usual and a script stops the other threads'
    operations with stop(). The chip keeps every page written before the
    stop.

    Attributes: ``port`` ("COM1"), ``device`` (the catalogue's spelling),
    ``bus`` ("I2C", "SPI" or "Microwire"), ``size`` (bytes of the chip).
    Settings, each starting afresh with every Programmer: ``organisation``,
    ``bus_address``, ``page_size``, ``ignore_checksums`` and
    ``serial_window`` (the serial link's send-ahead).
    """

    def __init__(self, port: str, device: str, progress: Optional[ProgressCallback] = None) -> None:
        self._open = False
        self._progress = progress
        self._callback_error: Optional[BaseException] = None
        self._last_progress: Optional[Tuple[int, int]] = None
        found = find_device(device)
        self.port = port.upper()
        self.device, self.bus = found or (device, "")
        self.size = 0
        self._organisation = 8
        self._bus_address = 0xA0
        self._page_size = 0
        self._ignore_checksums = False
        context = f"open {device} on {port}"
        if not self.port.startswith(("COM", "LPT")):
            raise PortError(4, f"unknown port name {port!r}", "ports are named COMn or LPTn", context)
        library = lib()
        watch_ctrl_c()
        # The handler reaches the Programmer through a weak reference, so
        # that the session's finaliser does not keep the Programmer alive.
        programmer = weakref.ref(self)

        def report(user: Optional[int], stage: int, done: int, total: int) -> None:
            me = programmer()
            if me is not None:
                me._on_progress(done, total)

        self._session = _Session(library, SessionProgressHandler(report), f"the Programmer of {self.port}")
        created = ctypes.c_void_p()
        code = library.Zyl_SessionCreate(ctypes.byref(created))
        if code != 0 or not created.value:
            raise ZylispError(code, "the library cannot make a session", "", context)
        self._session.pointer = created.value
        self._finalizer = weakref.finalize(self, _release, self._session)
        try:
            with self._session.turn.held():
                s = created.value
                check(s, library.Zyl_SessionSetDevice(s, device.encode("ascii", "replace")), context)
                check(s, library.Zyl_SessionSetPort(s, self.port.encode("ascii", "replace")), context)
                check(s, library.Zyl_SessionSetProgressHandler(s, self._session.handler, None), context)
                check(s, library.Zyl_SessionOpen(s), context)
                size = ctypes.c_int32()
                check(s, library.Zyl_SessionGetImageSize(s, ctypes.byref(size)), context)
                self.size = size.value
            self._page_size = write_page(self.device)
        except BaseException:
            self._finalizer()
            raise
        self._open = True

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
        with self._session.turn.held() as library:
            if not self._open:
                return
            self._open = False
            s = self._session.pointer
            code = library.Zyl_SessionClose(s)
            error = failure(s, code, f"close {self.port}") if code != 0 else None
            self._finalizer.detach()
            self._session.destroy()
            if error is not None:
                raise error

    @property
    def closed(self) -> bool:
        return not self._open

    @property
    def firmware_version(self) -> str:
        """The adapter's firmware version, "N/A" when it cannot be reached."""
        with self._held() as (library, s):
            text = ctypes.create_string_buffer(64)
            if library.Zyl_SessionGetFirmwareVersion(s, text, len(text)) != 0:
                return "N/A"
            return text.value.decode("ascii", "replace")

    def stop(self) -> None:
        """Asks this Programmer's running operation to stop at its next page
        boundary; it then raises Cancelled. Safe from any thread, from a
        signal handler and from a progress callback; a request made while
        nothing runs is forgotten."""
        self._session.stop()

    def erase(self) -> None:
        """Erases the whole chip."""
        with self._held() as (library, s):
            self._operate("erase", lambda: library.Zyl_SessionErase(s))

    def program(self, data: Union[PathLike, Data]) -> None:
        """Writes a data file (Intel hex, Motorola, Tektronix, or binary for
        anything else), or bytes of at most ``size``; the rest of the chip
        is written with 0xFF."""
        self._with_data("program", data, "Zyl_SessionProgram")

    def verify(self, data: Union[PathLike, Data]) -> None:
        """Compares the chip with a data file or with bytes (the rest of the
        chip as 0xFF); raises VerifyError when they differ."""
        self._with_data("verify", data, "Zyl_SessionVerify")

    @overload
    def read(self) -> bytes: ...

    @overload
    def read(self, path: PathLike, format: Optional[Format] = None) -> None: ...

    def read(self, path: Optional[PathLike] = None, format: Optional[Format] = None) -> Optional[bytes]:
        """Reads the whole chip: returns its bytes, or with a path writes
        them into that file in format (by default the one its suffix
        suggests, see format_for). A file that cannot be written, or whose
        format cannot hold the chip, is found out before the chip is read."""
        with self._held() as (library, s):
            if path is None:
                self._operate("read", lambda: library.Zyl_SessionRead(s))
                image = ctypes.create_string_buffer(self.size)
                check(s, library.Zyl_SessionReadImage(s, 0, image, self.size), self._context("read"))
                return image.raw
            name = os.fsencode(os.fspath(path))
            chosen = Format(format) if format is not None else format_for(path)
            context = self._context("read", path)
            check(s, library.Zyl_SessionCheckFile(s, name, 1), context)
            limit = library.Zyl_GetFormatLimit(int(chosen))
            if limit < self.size - 1:
                raise FileError(1, "the file format cannot hold the chip",
                                f"{chosen.name} files reach address {limit:X} only; the {self.device} holds "
                                f"{self.size} bytes", context)
            self._operate("read", lambda: library.Zyl_SessionRead(s), path)
            check(s, library.Zyl_SessionSaveFile(s, name, int(chosen)), context)
            return None

    @property
    def status(self) -> int:
        """The status register of an SPI or DataFlash part. Other parts have
        none: NotSupported. A failed read raises, never gives a value."""
        with self._held() as (library, s):
            byte = ctypes.c_uint8()
            self._operate("read status", lambda: library.Zyl_SessionGetStatus(s, ctypes.byref(byte)))
            return byte.value

    @status.setter
    def status(self, value: int) -> None:
        if not 0 <= value <= 0xFF:
            raise ValueError(f"a status byte is 0..255, not {value}")
        with self._held() as (library, s):
            if self.bus != "SPI":
                raise NotSupported(11, "only SPI parts have a status register",
                                   f"{self.device} is a {self.bus} part", self._context("write status"))
            self._operate("write status", lambda: library.Zyl_SessionSetStatus(s, value))

    @property
    def organisation(self) -> int:
        """How a Microwire part is wired: 8 (bytes, the default) or 16 (words)."""
        return self._organisation

    @organisation.setter
    def organisation(self, bits: int) -> None:
        if bits not in (8, 16):
            raise ValueError(f"a Microwire organisation is 8 or 16, not {bits}")
        self._set("organisation", "Zyl_SessionSetOrganisation", bits)
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
        self._set("bus address", "Zyl_SessionSetBusAddress", address)
        self._bus_address = address

    @property
    def page_size(self) -> int:
        """Bytes written in one page write: the part's write page by
        default; a smaller one may be set, 0 or a larger one raises
        SettingRefused."""
        return self._page_size

    @page_size.setter
    def page_size(self, size: int) -> None:
        if not 0 <= size <= 0x7FFFFFFF:
            raise ValueError(f"a page size is 0 or more, not {size}")
        if size == 0:
            # The library would take 0 for the part's own page.
            raise SettingRefused(1, "page size 0 refused", "a page write needs at least one byte",
                                 self._context("set page size for"))
        self._set("page size", "Zyl_SessionSetPageSize", size)
        self._page_size = size

    @property
    def ignore_checksums(self) -> bool:
        """True loads data files whose record checksums are wrong (for
        hand-edited files); False, the default, refuses them."""
        return self._ignore_checksums

    @ignore_checksums.setter
    def ignore_checksums(self, ignore: bool) -> None:
        self._set("ignore checksums", "Zyl_SessionSetIgnoreChecksums", int(bool(ignore)))
        self._ignore_checksums = bool(ignore)

    @property
    def serial_window(self) -> int:
        """Bytes of commands the serial link sends ahead of their
        acknowledges, 0 to 4096; 0 sends each command only once the one
        before it was answered. Starts as ZYLISP_SERIAL_WINDOW says, else
        16; reading it with a ZYLISP_SERIAL_WINDOW that is no window raises
        the library's error. A deeper window saves the port's round trip
        per command, but up to that many bytes wait in the adapter while it
        works, so its receive buffer must hold them. A value out of range
        raises SettingRefused. The parallel link ignores it."""
        with self._held() as (library, s):
            window = ctypes.c_int32()
            check(s, library.Zyl_SessionGetSerialWindow(s, ctypes.byref(window)),
                  self._context("get serial window for"))
            return window.value

    @serial_window.setter
    def serial_window(self, size: int) -> None:
        size = operator.index(size)
        if not -2**31 <= size < 2**31:
            # The library would see the low 32 bits, another number.
            raise SettingRefused(1, f"serial window {size} refused", "a window is 0 to 4096 bytes",
                                 self._context("set serial window for"))
        self._set("serial window", "Zyl_SessionSetSerialWindow", size)

    @contextmanager
    def _held(self) -> Iterator[Tuple[ctypes.CDLL, int]]:
        """The turn on the open session: gives (library, session)."""
        with self._session.turn.held() as library:
            if not self._open or self._session.pointer is None:
                raise ValueError(f"{self!r} is used after close()")
            yield library, self._session.pointer

    def _set(self, what: str, export: str, value: int) -> None:
        with self._held() as (library, s):
            code = getattr(library, export)(s, value)
            if code != 0:
                # The library's text for code 1 speaks of files; its detail names the cause.
                detail = (library.Zyl_SessionGetErrorDetail(s) or b"").decode("utf-8", "replace")
                raise SettingRefused(code, f"{what} {value} refused", detail,
                                     self._context(f"set {what} for"))

    def _context(self, what: str, path: Optional[PathLike] = None) -> str:
        text = f"{what} {self.device} on {self.port}"
        if path is None:
            return text
        preposition = {"program": "from", "verify": "against", "read": "into"}[what]
        return f"{text} {preposition} {os.fspath(path)}"

    def _with_data(self, what: str, data: Union[PathLike, Data], export: str) -> None:
        with self._held() as (library, s):
            run = getattr(library, export)
            if isinstance(data, (bytes, bytearray, memoryview)):
                image = bytes(data)
                # A blank image would erase the whole chip instead.
                if not image:
                    raise FileError(1, "no data", f"there are no bytes to {what}", self._context(what))
                if len(image) > self.size:
                    raise ValueError(f"{len(image)} bytes do not fit the {self.size} bytes of the {self.device}")
                image += b"\xff" * (self.size - len(image))
                check(s, library.Zyl_SessionWriteImage(s, 0, image, len(image)), self._context(what))
                self._operate(what, lambda: run(s))
                return
            name = os.fsencode(os.fspath(data))
            context = self._context(what, data)
            check(s, library.Zyl_SessionCheckFile(s, name, 0), context)
            check(s, library.Zyl_SessionLoadFile(s, name), context)
            self._operate(what, lambda: run(s), data)

    def _operate(self, what: str, call: Callable[[], int], path: Optional[PathLike] = None) -> None:
        """Runs one chip operation and raises what its end calls for. The
        caller holds the session's turn."""
        s = self._session.pointer
        self._callback_error = None
        self._last_progress = None
        result, interrupted = run_stoppable(call, self._session.stop)
        context = self._context(what, path)
        error: Optional[ZylispError] = failure(s, result, context) if result != 0 else None
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
        library, s = self._session.library, self._session.pointer
        count = ctypes.c_int32()
        library.Zyl_SessionGetDifferences(s, None, 0, ctypes.byref(count))
        listed = (Difference * max(count.value, 0))()
        library.Zyl_SessionGetDifferences(s, listed, len(listed), ctypes.byref(count))
        differences: List[Tuple[int, int, int]] = [
            (d.address, d.chip, d.image) for d in listed[:min(count.value, len(listed))]]
        found = len(differences)
        detail = f"{found} byte differs" if found == 1 else f"{found} bytes differ"
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
            self._session.stop()

