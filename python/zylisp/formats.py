"""The data file formats the library writes, and the one a file name suggests."""

from __future__ import annotations

import enum
import os
from typing import Union


class Format(enum.IntEnum):
    """File formats, numbered as the library numbers them."""

    INTEL_HEX = 1
    INTEL_HEX_SEGMENT = 2
    INTEL_HEX_LINEAR = 3
    MOTOROLA_S1 = 4
    MOTOROLA_S2 = 5
    MOTOROLA_S3 = 6
    EXTENDED_TEKTRONIX = 7
    TEKTRONIX = 8
    BINARY = 9
    BYTE_LIST = 10


_BY_SUFFIX = {
    ".bin": Format.BINARY,
    ".s19": Format.MOTOROLA_S1,
    ".s28": Format.MOTOROLA_S2,
    ".s37": Format.MOTOROLA_S3,
    ".tek": Format.TEKTRONIX,
}


def format_for(path: Union[str, "os.PathLike[str]"]) -> Format:
    """The format for a file name's suffix: .bin binary, .s19/.s28/.s37 the
    Motorola records, .tek Tektronix; Intel hex for anything else."""
    suffix = os.path.splitext(os.fspath(path))[1].lower()
    return _BY_SUFFIX.get(suffix, Format.INTEL_HEX)
