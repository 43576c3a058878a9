"""Drives the in-system programmer adapter for serial EEPROMs from Python,
through the C exports of libzylisp.so.1 (loaded with ctypes on first use;
ZYLISP_LIBRARY names another file to load).

    import zylisp
    with zylisp.Programmer(port="COM1", device="24C16") as p:
        p.erase()
        p.program("data.hex")
        p.verify("data.hex")
        data = p.read()

Failures raise ZylispError or one of its subclasses, never a bare code.
"""

from .catalogue import BUSES, FAMILIES, Detected, Part, detect, devices, library_version, parts, ports
from .errors import (Cancelled, FileError, HardwareError, InUseError, NotSupported, PortError,
                     SettingRefused, VerifyError, WriteProtected, ZylispError)
from .formats import Format, format_for
from .library import LibraryNotFound
from .programmer import Programmer

__all__ = [
    "BUSES", "Cancelled", "Detected", "FAMILIES", "FileError", "Format", "HardwareError", "InUseError",
    "LibraryNotFound", "NotSupported", "Part", "PortError", "Programmer", "SettingRefused",
    "VerifyError", "WriteProtected", "ZylispError", "devices", "format_for", "library_version",
    "detect", "parts", "ports",
]
