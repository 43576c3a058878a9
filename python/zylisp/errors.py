"""The exceptions of the package: one base class carrying the library's
result code and text, and a subclass per kind of failure."""

from __future__ import annotations

from typing import Dict, List, Optional, Tuple, Type


class ZylispError(Exception):
    """A call of the library failed.

    ``code`` is the library's result code (1..19), ``text`` its text for
    that code, ``detail`` what the library knows beyond the code (the file
    and line of a damaged data file, a path and the system's reason), or ""
    when it knows nothing more.
    """

    def __init__(self, code: int, text: str, detail: str = "", context: str = "") -> None:
        self.code = code
        self.text = text
        self.detail = detail
        self.context = context
        message = text if not detail else f"{text}: {detail}"
        if context:
            message = f"{context}: {message}"
        super().__init__(f"{message} (code {code})")


class FileError(ZylispError):
    """A data file cannot be read, written or used, or data hold no bytes
    (codes 1 and 6)."""


class PortError(ZylispError):
    """The port does not exist, cannot be opened or is in use (codes 4 and 17)."""


class HardwareError(ZylispError):
    """The adapter or the chip does not answer, or the adapter's firmware
    does not suit the library (codes 3, 9 and 12)."""


class VerifyError(ZylispError):
    """The chip does not hold the data it was compared with (code 10).

    ``differences`` lists the (address, chip byte, data byte) of every
    address that differs, in address order.
    """

    def __init__(self, code: int, text: str, detail: str = "", context: str = "",
                 differences: Optional[List[Tuple[int, int, int]]] = None) -> None:
        super().__init__(code, text, detail, context)
        self.differences = differences or []


class SettingRefused(ZylispError):
    """The part cannot take a setting: a page size of 0 or above its write
    page, say (code 1 of a setter)."""


class NotSupported(ZylispError):
    """The part does not know this operation, or the part is unknown
    (codes 5, 8 and 11)."""


class Cancelled(ZylispError):
    """A stop request ended the operation at a page boundary (code 18).
    The chip keeps every page written before the stop."""


class WriteProtected(ZylispError):
    """The chip's status register guards the area to be written (code 19)."""


class InUseError(RuntimeError):
    """A call that would wait for itself: the package called from inside a
    progress callback, or a Programmer (or the catalogue) called from a
    signal handler that interrupted that same thread's call of it."""


_KINDS: Dict[int, Type[ZylispError]] = {
    1: FileError,
    3: HardwareError,
    4: PortError,
    5: NotSupported,
    6: FileError,
    8: NotSupported,
    9: HardwareError,
    10: VerifyError,
    11: NotSupported,
    12: HardwareError,
    17: PortError,
    18: Cancelled,
    19: WriteProtected,
}


def error_for(code: int, text: str, detail: str = "", context: str = "") -> ZylispError:
    """The exception of the kind that suits a result code (codes without a
    kind of their own give the base class)."""
    return _KINDS.get(code, ZylispError)(code, text, detail, context)
