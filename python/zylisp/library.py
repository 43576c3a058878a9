"""Loading libzylisp.so.1, the prototypes of its exports, and the turns
callers take on the library's sessions.

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

# Port kinds and buffer sizes of zylisp.h.
MODE_SERIAL = 1
MODE_PARALLEL = 2
PORT_NAME_SIZE = 256
PORT_LABEL_SIZE = 16
DEVICE_NAME_SIZE = 11

# (user pointer, stage, done, total)
SessionProgressHandler = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int32, ctypes.c_int32,
                                          ctypes.c_int32)


class PortInfo(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char * PORT_LABEL_SIZE), ("path", ctypes.c_char * PORT_NAME_SIZE),
                ("kind", ctypes.c_int32)]


PART_NAME_SIZE = 24
PART_ALIASES_SIZE = 96


class PartInfo(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char * PART_NAME_SIZE), ("aliases", ctypes.c_char * PART_ALIASES_SIZE),
                ("family", ctypes.c_int32), ("bus_kind", ctypes.c_int32), ("size", ctypes.c_int32),
                ("page_size", ctypes.c_int32), ("address_bytes", ctypes.c_int32),
                ("jedec_id", ctypes.c_uint32), ("erase_sizes", ctypes.c_int32 * 4),
                ("organisation", ctypes.c_int32)]


DETECT_TEXT_SIZE = 256


class Detection(ctypes.Structure):
    _fields_ = [("jedec_id", ctypes.c_uint32), ("sfdp", ctypes.c_int32), ("size", ctypes.c_int32),
                ("candidates", ctypes.c_int32), ("names", ctypes.c_char * DETECT_TEXT_SIZE),
                ("i2c_count", ctypes.c_int32), ("i2c_addresses", ctypes.c_uint8 * 8),
                ("text", ctypes.c_char * DETECT_TEXT_SIZE)]


class Difference(ctypes.Structure):
    _fields_ = [("address", ctypes.c_int32), ("chip", ctypes.c_uint8), ("image", ctypes.c_uint8)]


class LibraryNotFound(ImportError):
    """libzylisp.so.1 could not be loaded."""


_i32 = ctypes.c_int32
_u8 = ctypes.c_uint8
_text = ctypes.c_char_p
_i32_out = ctypes.POINTER(ctypes.c_int32)
_u8_out = ctypes.POINTER(ctypes.c_uint8)
_session = ctypes.c_void_p  # ZylSession*

# name: (result type, argument types)
_PROTOTYPES = {
    # The default session's calls the package makes, under default_session.
    "Zyl_GetDevice": (_i32, [_i32, ctypes.c_uint32, ctypes.c_char_p]),
    "Zyl_GetDeviceInfo": (_i32, [_text, _i32_out, _i32_out, _i32_out]),
    "Zyl_GetDLLversion": (_text, []),
    # Calls that take no session, from any thread.
    "Zyl_GetDeviceCount": (_i32, [_i32]),
    "Zyl_GetFormatLimit": (_i32, [_u8]),
    "Zyl_RequestStop": (None, []),
    "Zyl_ListPorts": (_i32, [_i32, ctypes.POINTER(PortInfo), _i32, _i32_out]),
    "Zyl_ListParts": (_i32, [ctypes.POINTER(PartInfo), _i32, _i32_out]),
    # Sessions.
    "Zyl_SessionCreate": (_i32, [ctypes.POINTER(_session)]),
    "Zyl_SessionDestroy": (None, [_session]),
    "Zyl_SessionDetect": (_i32, [_session, ctypes.POINTER(Detection)]),
    "Zyl_SessionUnprotect": (_i32, [_session]),
    "Zyl_SessionSetDevice": (_i32, [_session, _text]),
    "Zyl_SessionSetPort": (_i32, [_session, _text]),
    "Zyl_SessionSetProgressHandler": (_i32, [_session, SessionProgressHandler, ctypes.c_void_p]),
    "Zyl_SessionOpen": (_i32, [_session]),
    "Zyl_SessionClose": (_i32, [_session]),
    "Zyl_SessionGetFirmwareVersion": (_i32, [_session, ctypes.c_char_p, _i32]),
    "Zyl_SessionErase": (_i32, [_session]),
    "Zyl_SessionProgram": (_i32, [_session]),
    "Zyl_SessionVerify": (_i32, [_session]),
    "Zyl_SessionRead": (_i32, [_session]),
    "Zyl_SessionGetStatus": (_i32, [_session, _u8_out]),
    "Zyl_SessionSetStatus": (_i32, [_session, _u8]),
    "Zyl_SessionSetPageSize": (_i32, [_session, _i32]),
    "Zyl_SessionSetBusAddress": (_i32, [_session, _u8]),
    "Zyl_SessionSetSerialWindow": (_i32, [_session, _i32]),
    "Zyl_SessionGetSerialWindow": (_i32, [_session, _i32_out]),
    "Zyl_SessionSetOrganisation": (_i32, [_session, _u8]),
    "Zyl_SessionSetIgnoreChecksums": (_i32, [_session, _u8]),
    "Zyl_SessionLoadFile": (_i32, [_session, _text]),
    "Zyl_SessionSaveFile": (_i32, [_session, _text, _u8]),
    "Zyl_SessionCheckFile": (_i32, [_session, _text, _u8]),
    "Zyl_SessionGetImageSize": (_i32, [_session, _i32_out]),
    "Zyl_SessionReadImage": (_i32, [_session, _i32, ctypes.c_char_p, _i32]),
    "Zyl_SessionWriteImage": (_i32, [_session, _i32, ctypes.c_char_p, _i32]),
    "Zyl_SessionGetDifferences": (_i32, [_session, ctypes.POINTER(Difference), _i32, _i32_out]),
    "Zyl_SessionGetResultText": (_text, [_session]),
    "Zyl_SessionGetErrorDetail": (_text, [_session]),
    "Zyl_SessionRequestStop": (None, [_session]),
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


def _text_of(raw: Optional[bytes]) -> str:
    return (raw or b"").decode("utf-8", "replace")


def failure(session: Optional[int], code: int, context: str = "") -> ZylispError:
    """The exception for a result code the session just returned, with the
    session's text and detail of it."""
    library = lib()
    text = _text_of(library.Zyl_SessionGetResultText(session))
    detail = _text_of(library.Zyl_SessionGetErrorDetail(session))
    return error_for(code, text or f"result code {code}", detail, context)


def check(session: Optional[int], code: int, context: str = "") -> None:
    """Raises the exception of a non-zero result code of the session."""
    if code != 0:
        raise failure(session, code, context)


_inside = threading.local()


@contextmanager
def inside_call() -> Iterator[None]:
    """Marks the current thread as running a library call, whose progress
    callbacks must not call the package again."""
    _inside.call = True
    try:
        yield
    finally:
        _inside.call = False


class Turn:
    """One session's calls, one thread at a time. Threads queue for it: a
    call from another thread waits until the running one has ended. A call
    that would have to wait for itself (from a signal handler on the thread
    whose call runs) or that comes from inside a progress callback (which
    runs inside a library call, so could wait for a session its own thread
    holds) raises InUseError instead of deadlocking."""

    def __init__(self, what: str) -> None:
        self._what = what
        self._lock = threading.RLock()
        self._holding = False

    @contextmanager
    def held(self) -> Iterator[ctypes.CDLL]:
        if getattr(_inside, "call", False):
            raise InUseError("the zylisp library cannot be called from inside one of its own calls "
                             "(a progress callback)")
        library = lib()
        with self._lock:
            if self._holding:
                raise InUseError(f"{self._what} is already in use by this thread")
            self._holding = True
            try:
                yield library
            finally:
                self._holding = False

    def try_hold(self) -> bool:
        """Takes the turn without waiting (for a finaliser): True when taken;
        give it back with release()."""
        if not self._lock.acquire(blocking=False):
            return False
        if self._holding:
            self._lock.release()
            return False
        return True

    def release(self) -> None:
        self._lock.release()


default_session = Turn("the zylisp library's default session")
"""The turn on the library's default session, which the catalogue's calls
use: one thread at a time in the whole process."""
