"""Loading libzylisp.so.1, the prototypes of its exports, and the rule that
only one caller at a time may be inside the library.

An installed package loads the library of its own installation (the lib
folder of the same prefix, as the install recorded it); then the file
ZYLISP_LIBRARY names; then the system's library search."""

from __future__ import annotations

import ctypes
import os
import platform
import threading
from contextlib import contextmanager
from typing import Iterator, Optional

from .errors import InUseError, ZylispError, error_for

SONAME = "libzylisp.so.1"

# Area and modes of zylisp.h.
AREA_EEPROM = 1
MODE_SERIAL = 1
MODE_PARALLEL = 2
PORT_NAME_SIZE = 256
DEVICE_NAME_SIZE = 11

ProgressHandler = ctypes.CFUNCTYPE(None, ctypes.c_int32, ctypes.c_int32)


class LibraryNotFound(ImportError):
    """libzylisp.so.1 could not be loaded."""


_i32 = ctypes.c_int32
_u8 = ctypes.c_uint8
_text = ctypes.c_char_p
_i32_out = ctypes.POINTER(ctypes.c_int32)
_u8_out = ctypes.POINTER(ctypes.c_uint8)

# name: (result type, argument types)
_PROTOTYPES = {
    "Zyl_SetProgressHandler": (_i32, [ProgressHandler]),
    "Zyl_SetDevice": (_i32, [_text]),
    "Zyl_GetDevice": (_i32, [_i32, ctypes.c_uint32, ctypes.c_char_p]),
    "Zyl_GetDeviceCount": (_i32, [_i32]),
    "Zyl_GetLastError": (_text, []),
    "Zyl_InitProgrammer": (_i32, [_text, _text, _u8]),
    "Zyl_GetNumPorts": (_u8, [_u8]),
    "Zyl_GetPort": (_i32, [_i32, ctypes.c_char_p, _u8]),
    "Zyl_PROG_Open": (_i32, []),
    "Zyl_PROG_Close": (_i32, []),
    "Zyl_ClearBuffer": (_i32, [_u8]),
    "Zyl_WriteBuffer": (_i32, [_u8, _i32, _u8]),
    "Zyl_GetBufferSize": (_i32, [_u8]),
    "Zyl_ANSI_ReadBuffer": (_u8, [_u8, _i32]),
    "Zyl_EraseAllDevice": (_i32, []),
    "Zyl_ReadEEPROM": (_i32, [_text, _u8]),
    "Zyl_ProgramEEPROM": (_i32, [_text]),
    "Zyl_VerifyEEPROM": (_i32, [_text]),
    "Zyl_WriteStatus": (_i32, [_u8]),
    "Zyl_ReadStatus": (_i32, []),
    "Zyl_GetStatusByte": (_i32, [_u8_out]),
    "Zyl_WriteProgMode": (_i32, [_u8]),
    "Zyl_SetBusAddress": (_i32, [_u8]),
    "Zyl_SetPageSize": (_i32, [_u8]),
    "Zyl_GetDLLversion": (_text, []),
    "Zyl_GetFWVersion": (_text, []),
    "Zyl_RequestStop": (None, []),
    "Zyl_GetErrorDetail": (_text, []),
    "Zyl_CheckFile": (_i32, [_text, _u8]),
    "Zyl_GetDeviceInfo": (_i32, [_text, _i32_out, _i32_out, _i32_out]),
    "Zyl_SetIgnoreChecksums": (_i32, [_u8]),
    "Zyl_GetDifferenceCount": (_i32, []),
    "Zyl_GetDifference": (_i32, [_i32, _i32_out, _u8_out, _u8_out]),
}


def _installed_library() -> Optional[str]:
    """The library beside an installed package, None in a source tree or
    when that file is gone."""
    try:
        from ._install_layout import LIBRARY_DIR
    except ImportError:
        return None
    package = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(package, LIBRARY_DIR, SONAME)
    return path if os.path.exists(path) else None



def _load() -> ctypes.CDLL:
    # The exports are stdcall on 32-bit x86, which ctypes cannot call on Linux.
    if platform.machine() in ("i386", "i486", "i586", "i686"):
        raise LibraryNotFound("zylisp for Python needs a 64-bit or non-x86 system: "
                              "the library's calls are stdcall on 32-bit x86")
    installed = _installed_library()
    explicit = os.environ.get("ZYLISP_LIBRARY")
    target = installed or explicit or SONAME
    try:
        lib = ctypes.CDLL(target)
    except OSError as e:
        if installed:
            raise LibraryNotFound(
                f"cannot load the zylisp library installed with this package, {installed}: {e}") from e
        if explicit:
            raise LibraryNotFound(f"cannot load the zylisp library from ZYLISP_LIBRARY={explicit}: {e}") from e
        raise LibraryNotFound(
            f"cannot load {SONAME} through the system's library search path ({e}); install the "
            f"library or set ZYLISP_LIBRARY to the full path of {SONAME}") from e
    try:
        for name, (restype, argtypes) in _PROTOTYPES.items():
            function = getattr(lib, name)
            function.restype = restype
            function.argtypes = argtypes
    except AttributeError as e:
        raise LibraryNotFound(f"{target} is not a zylisp library this package can use: {e}") from e
    return lib


_lib: Optional[ctypes.CDLL] = None
_load_lock = threading.Lock()


def lib() -> ctypes.CDLL:
    """The loaded library; loads it on first use. A failed load is tried
    again on the next use (after ZYLISP_LIBRARY was set, say)."""
    global _lib
    with _load_lock:
        if _lib is None:
            _lib = _load()
        return _lib


def failure(code: int, context: str = "") -> ZylispError:
    """The exception for a result code just returned, with the library's
    text and detail of it."""
    library = lib()
    text = (library.Zyl_GetLastError() or b"").decode("utf-8", "replace")
    detail = (library.Zyl_GetErrorDetail() or b"").decode("utf-8", "replace")
    return error_for(code, text or f"result code {code}", detail, context)


def check(code: int, context: str = "") -> None:
    """Raises the exception of a non-zero result code."""
    if code != 0:
        raise failure(code, context)


class _CallerRule:
    """The library accepts one caller at a time. Threads queue for it: a
    call from another thread waits until the running one has ended. A call
    that would have to wait for itself (from a progress callback, which runs
    inside a library call, or from a signal handler on the thread that holds
    the library) raises InUseError instead of deadlocking."""

    def __init__(self) -> None:
        self._lock = threading.RLock()
        self._holding = False
        self._inside = threading.local()
        # The open Programmer: the library holds one connection per process.
        self.programmer: Optional[object] = None

    @contextmanager
    def held(self) -> Iterator[ctypes.CDLL]:
        if getattr(self._inside, "call", False):
            raise InUseError("the zylisp library cannot be called from inside one of its own calls "
                             "(a progress callback)")
        library = lib()
        with self._lock:
            if self._holding:
                raise InUseError("the zylisp library is already in use by this thread")
            self._holding = True
            try:
                yield library
            finally:
                self._holding = False

    @contextmanager
    def inside_call(self) -> Iterator[None]:
        """Marks the current thread as running a library call."""
        self._inside.call = True
        try:
            yield
        finally:
            self._inside.call = False


caller = _CallerRule()
