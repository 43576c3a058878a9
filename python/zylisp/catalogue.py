"""What the library knows without a connection: its device catalogue, the
ports of this machine and its own version."""

from __future__ import annotations

import ctypes
from typing import Dict, List, Optional, Tuple

from .errors import InUseError
from .library import DEVICE_NAME_SIZE, MODE_PARALLEL, MODE_SERIAL, PORT_NAME_SIZE, caller

# Bus kinds of zylisp.h, in the order the library numbers them.
BUSES: Tuple[str, ...] = ("I2C", "SPI", "Microwire")


def devices() -> Dict[str, List[str]]:
    """The catalogue's part names by bus: {"I2C": [...], "SPI": [...], "Microwire": [...]}."""
    with caller.held() as lib:
        found: Dict[str, List[str]] = {}
        for kind, bus in enumerate(BUSES):
            names = []
            for index in range(lib.Zyl_GetDeviceCount(kind)):
                name = ctypes.create_string_buffer(DEVICE_NAME_SIZE)
                if lib.Zyl_GetDevice(kind, index, name) == 0:
                    names.append(name.value.decode("ascii"))
            found[bus] = names
        return found


def find_device(name: str) -> Optional[Tuple[str, str]]:
    """The catalogue's spelling of a part name (matched without regard to
    case) and its bus, or None for an unknown part."""
    wanted = name.upper()
    for bus, names in devices().items():
        for known in names:
            if known.upper() == wanted:
                return known, bus
    return None


def ports() -> List[str]:
    """The ports the library can use, parallel ones first: ["LPT1", "COM1", ...].

    Enumeration clears the library's device selection, so it is refused
    (InUseError) while a Programmer is open.
    """
    with caller.held() as lib:
        if caller.programmer is not None:
            raise InUseError("ports cannot be listed while a Programmer is open: "
                             "listing them clears its device selection")
        return port_names(lib, MODE_PARALLEL) + port_names(lib, MODE_SERIAL)


def port_names(library: ctypes.CDLL, mode: int) -> List[str]:
    """The port names of one mode; clears the device selection. The caller
    holds the library."""
    names = []
    for index in range(library.Zyl_GetNumPorts(mode)):
        name = ctypes.create_string_buffer(PORT_NAME_SIZE)
        library.Zyl_GetPort(index, name, mode)
        if name.value:
            names.append(name.value.decode("utf-8", "replace"))
    return names


def library_version() -> str:
    """The library's version, MAJOR.MINOR.PATCH.BUILD."""
    with caller.held() as lib:
        return lib.Zyl_GetDLLversion().decode("ascii")
