"""What the library knows without a connection: its device catalogue, the
ports of this machine and its own version."""

from __future__ import annotations

import ctypes
from typing import Dict, List, NamedTuple, Optional, Tuple

from .errors import error_for
from .library import (DEVICE_NAME_SIZE, MODE_PARALLEL, Detection, PartInfo, PortInfo, default_session,
                      lib)

# Bus kinds of zylisp.h, in the order the library numbers them.
BUSES: Tuple[str, ...] = ("I2C", "SPI", "Microwire")

# The catalogue never changes: it is asked for once.
_catalogue: Optional[Dict[str, Tuple[str, ...]]] = None


def _names() -> Dict[str, Tuple[str, ...]]:
    global _catalogue
    if _catalogue is None:
        with default_session.held() as library:
            found: Dict[str, Tuple[str, ...]] = {}
            for kind, bus in enumerate(BUSES):
                names = []
                for index in range(library.Zyl_GetDeviceCount(kind)):
                    name = ctypes.create_string_buffer(DEVICE_NAME_SIZE)
                    if library.Zyl_GetDevice(kind, index, name) == 0:
                        names.append(name.value.decode("ascii"))
                found[bus] = tuple(names)
            _catalogue = found
    return _catalogue


def devices() -> Dict[str, List[str]]:
    """The catalogue's part names by bus: {"I2C": [...], "SPI": [...], "Microwire": [...]}."""
    return {bus: list(names) for bus, names in _names().items()}


# Families of zylisp.h, in the order the library numbers them.
FAMILIES: Tuple[str, ...] = ("I2C EEPROM", "SPI EEPROM", "Microwire", "SPI flash", "DataFlash")
_BUS_OF_KIND: Tuple[str, ...] = ("I2C", "SPI", "Microwire", "DataFlash")


class Part(NamedTuple):
    """A part the library knows, with the facts of its row."""
    name: str
    aliases: Tuple[str, ...]  # markings of other makers for the same part
    family: str               # one of FAMILIES
    bus: str                  # "I2C", "SPI", "Microwire" or "DataFlash"
    size: int                 # bytes
    page_size: int            # write page in bytes
    address_bytes: int
    jedec_id: Optional[int]   # maker << 16 | type << 8 | capacity, for flash
    erase_sizes: Tuple[int, ...]  # erase blocks in bytes, smallest first
    organisation: Optional[int]   # 8 or 16 for a Microwire part that has only one


_parts: Optional[Tuple[Part, ...]] = None


def parts() -> List[Part]:
    """Every part the library knows, the catalogue's first, with its
    properties. A Programmer takes a part's name or any of its aliases."""
    global _parts
    if _parts is None:
        library = lib()
        count = ctypes.c_int32()
        library.Zyl_ListParts(None, 0, ctypes.byref(count))
        found = (PartInfo * count.value)()
        if library.Zyl_ListParts(found, count.value, ctypes.byref(count)) != 0:
            raise RuntimeError("the zylisp library refused to list its parts")
        listed = []
        for p in found:
            aliases = p.aliases.decode("ascii")
            listed.append(Part(p.name.decode("ascii"), tuple(aliases.split(", ")) if aliases else (),
                               FAMILIES[p.family], _BUS_OF_KIND[p.bus_kind], p.size, p.page_size,
                               p.address_bytes, p.jedec_id or None,
                               tuple(size for size in p.erase_sizes if size),
                               p.organisation or None))
        _parts = tuple(listed)
    return list(_parts)


class Detected(NamedTuple):
    """What the chip on a port said it is."""
    jedec_id: Optional[int]  # None when no SPI flash answered
    sfdp: bool               # the part gave a valid SFDP table
    names: Tuple[str, ...]   # the parts of that ID, or the part made from its SFDP table
    size: int                # bytes; 0 when unknown
    i2c_addresses: Tuple[int, ...]  # 7-bit I2C addresses that acknowledge
    text: str                # what was found, as a sentence


def detect(port: str) -> Detected:
    """Asks the chip on port what it is: an SPI flash answers with its JEDEC
    ID and SFDP table; of anything else only the I2C bus addresses that
    acknowledge can be found (then jedec_id is None). A part known only by
    its SFDP table can be given by its name in ``names`` to a Programmer."""
    library = lib()
    created = ctypes.c_void_p()
    if library.Zyl_SessionCreate(ctypes.byref(created)) != 0 or not created.value:
        raise RuntimeError("the zylisp library cannot make a session")
    try:
        found = Detection()
        code = library.Zyl_SessionSetPort(created, port.upper().encode("ascii", "replace"))
        if code == 0:
            code = library.Zyl_SessionDetect(created, ctypes.byref(found))
        if code not in (0, 8):  # 8: nothing detected, which found says
            text = (library.Zyl_SessionGetResultText(created) or b"").decode("utf-8", "replace")
            detail = (library.Zyl_SessionGetErrorDetail(created) or b"").decode("utf-8", "replace")
            raise error_for(code, text, detail, f"detect on {port}")
    finally:
        library.Zyl_SessionDestroy(created)
    names = found.names.decode("ascii", "replace")
    return Detected(found.jedec_id or None, bool(found.sfdp), tuple(names.split(", ")) if names else (),
                    found.size, tuple(found.i2c_addresses[:found.i2c_count]),
                    found.text.decode("utf-8", "replace"))


def find_device(name: str) -> Optional[Tuple[str, str]]:
    """The table's spelling of a part name or alias (matched without regard
    to case) and its bus, or None for an unknown part."""
    wanted = name.strip().upper()
    for part in parts():
        if part.name.upper() == wanted or wanted in (alias.upper() for alias in part.aliases):
            return part.name, part.bus
    return None


def write_page(name: str) -> int:
    """The write page in bytes of a catalogue part, 0 for an unknown one."""
    page = ctypes.c_int32()
    with default_session.held() as library:
        if library.Zyl_GetDeviceInfo(name.encode("ascii", "replace"), None, None, ctypes.byref(page)) != 0:
            return 0
    return page.value


def ports() -> List[str]:
    """The ports the library can use, parallel ones first: ["LPT1", "COM1", ...].
    Safe at any time, from any thread, while Programmers are open."""
    library = lib()
    count = ctypes.c_int32()
    capacity = 16
    while True:
        found = (PortInfo * capacity)()
        code = library.Zyl_ListPorts(0, found, capacity, ctypes.byref(count))
        if code != 0:
            raise RuntimeError(f"the zylisp library refused to list the ports (code {code})")
        if count.value <= capacity:
            break
        capacity = count.value  # more ports than room: scan again with enough
    listed = found[:count.value]
    ordered = sorted(listed, key=lambda port: port.kind != MODE_PARALLEL)
    return [port.name.decode("utf-8", "replace") for port in ordered if port.name]


def library_version() -> str:
    """The library's version, MAJOR.MINOR.PATCH.BUILD."""
    with default_session.held() as library:
        return library.Zyl_GetDLLversion().decode("ascii")
