import re
import signal
import subprocess
import sys
import threading

import pytest
import zylisp
from conftest import BLANK_2K

DATA = bytes((i * 37 + 11) & 0xFF for i in range(2048))
# Each 256-byte block different, so that a block in the wrong place shows.
BLOCKS = bytes((i * 7 + i // 256) & 0xFF for i in range(2048))
STUCK = {0x10: 0x00, 0x11: 0x00, 0x7FF: 0x00}  # address: the value the cell is stuck at


@pytest.mark.parametrize("device, keys, jedec_id, names, i2c", [
    ("W25Q64JV", (), 0xEF4017, ("W25Q64FV", "W25Q64JV"), ()),
    ("W25Q128JV", ("jedecid=0x5E7018",), 0x5E7018, ("SFDP 5E7018",), ()),
    ("24C02", (), None, (), (0x50,)),
])
def test_detect_names_a_flash_by_id_or_sfdp_and_finds_i2c_addresses(adapter, device, keys, jedec_id, names, i2c):
    found = zylisp.detect(adapter("parallel", device, *keys))
    assert (found.jedec_id, found.names, found.i2c_addresses) == (jedec_id, names, i2c)
    if jedec_id is None:
        assert "EEPROMs and Microwire parts cannot be detected" in found.text


def test_parts_carry_their_rows_and_any_alias_opens_a_programmer(adapter):
    table = {part.name: part for part in zylisp.parts()}
    assert list(table)[:3] == ["24C00", "24C01", "24WC01"]
    flash = table["W25Q64JV"]
    assert (flash.family, flash.bus, flash.size, flash.page_size, flash.jedec_id) == (
        "SPI flash", "SPI", 8 << 20, 256, 0xEF4017)
    assert flash.erase_sizes == (4096, 32768, 65536)
    assert table["93LC46B"].organisation == 16 and table["93C46"].organisation is None
    assert "AT24C256" in table["24C256"].aliases
    port = adapter("serial", "24C256")
    with zylisp.Programmer(port=port, device="at24c256") as p:
        assert (p.device, p.size) == ("24C256", 32768)
        p.program(DATA)
        assert p.read()[:len(DATA)] == DATA


@pytest.mark.parametrize("link", ["serial", "parallel"])
def test_programs_verifies_and_reads_bytes_and_files(adapter, tmp_path, link):
    port = adapter(link, "24C16")
    assert "24C16" in zylisp.devices()["I2C"]
    assert port in zylisp.ports()
    assert re.fullmatch(r"\d+\.\d+\.\d+\.\d+", zylisp.library_version())
    seen = []
    with zylisp.Programmer(port=port, device="24c16", progress=lambda *p: seen.append(p)) as p:
        assert p.firmware_version == "000A"
        p.program(DATA)
        p.verify(bytearray(DATA))
        assert p.read() == DATA
        p.read(tmp_path / "back.srec", format=zylisp.Format.MOTOROLA_S3)
        p.read(tmp_path / "back.bin")
        p.erase()
        assert p.read() == BLANK_2K
        p.program(tmp_path / "back.srec")
        p.verify(str(tmp_path / "back.srec"))
        assert p.read() == DATA
    assert (tmp_path / "back.srec").read_text().startswith("S")  # Motorola, not the suffix's Intel hex
    assert (tmp_path / "back.bin").read_bytes() == DATA
    assert seen and all(0 <= done <= total == 2048 for done, total in seen)
    assert seen.count((2048, 2048)) == 10  # every operation ends complete


STUCK_CHIP = bytes(STUCK.get(a, v) for a, v in enumerate(DATA))
FAILURES = [
    # what, device, sim keys, port, action, exception, code, chip afterwards, attributes
    ("missing port", "24C16", (), "COM2", None, zylisp.PortError, 4, BLANK_2K, {}),
    ("stuck cells", "24C16", ("fault=" + "+".join(f"stuck:{a}:0xff:{v}" for a, v in STUCK.items()),), "COM1",
     lambda p, tmp: (p.program(DATA), p.verify(DATA)), zylisp.VerifyError, 10, STUCK_CHIP,
     {"detail": "3 bytes differ", "differences": [(a, v, DATA[a]) for a, v in STUCK.items()]}),
    ("unknown file", "24C16", (), "COM1", lambda p, tmp: p.program(tmp / "missing.hex"), zylisp.FileError, 1,
     BLANK_2K, {}),
    ("empty data", "24C16", (), "COM1", lambda p, tmp: (p.program(DATA), p.program(b"")), zylisp.FileError, 1,
     DATA, {}),
    ("I2C status", "24C16", (), "COM1", lambda p, tmp: p.status, zylisp.NotSupported, 11, BLANK_2K, {}),
    ("I2C status write", "24C16", (), "COM1", lambda p, tmp: setattr(p, "status", 0), zylisp.NotSupported, 11,
     BLANK_2K, {}),
    ("SPI status read fails", "25C16", ("fault=error:r:1:T",), "COM1", lambda p, tmp: p.status,
     zylisp.HardwareError, 3, BLANK_2K, {"detail": "Communications with ISP failed during this operation"}),
    ("page size above the page", "24C16", (), "COM1", lambda p, tmp: setattr(p, "page_size", 17),
     zylisp.SettingRefused, 1, BLANK_2K, {}),
    *((f"serial window {n}", "24C16", (), "COM1", lambda p, tmp, n=n: setattr(p, "serial_window", n),
       zylisp.SettingRefused, 1, BLANK_2K, {}) for n in (-1, 4097)),
    ("too many bytes", "24C16", (), "COM1", lambda p, tmp: p.program(DATA + b"\0"), ValueError, None,
     BLANK_2K, {}),
]


@pytest.mark.parametrize("what,device,keys,port,action,kind,code,chip,attributes", FAILURES,
                         ids=[f[0] for f in FAILURES])
def test_failures_raise_their_kind(adapter, tmp_path, what, device, keys, port, action, kind, code, chip,
                                   attributes):
    adapter("serial", device, *keys)
    if action is None:
        with pytest.raises(kind) as failure:
            zylisp.Programmer(port=port, device=device)
    else:
        with zylisp.Programmer(port=port, device=device) as p:
            with pytest.raises(kind) as failure:
                action(p, tmp_path)
            assert p.read() == chip
    if code is not None:
        assert failure.value.code == code and failure.value.text
    assert {name: getattr(failure.value, name) for name in attributes} == attributes


# Blocks 2k and 2k+1 of a 24C16 at control byte 0xA2 both land in block 2k+1.
ODD_BLOCKS = b"".join(BLANK_2K[:256] if k % 2 == 0 else BLOCKS[256 * k:256 * (k + 1)] for k in range(8))
SETTINGS = [
    # what, link, device, sim keys, settings, data programmed, raw chip afterwards
    ("Microwire x16", "parallel", "93C46", ("org=16",), {"organisation": 16}, BLOCKS[:128], BLOCKS[:128]),
    ("bus address", "parallel", "24C16", (), {"bus_address": 0xA2}, BLOCKS, ODD_BLOCKS),
    ("serial lockstep", "serial", "24C16", (), {"serial_window": 0}, BLOCKS, BLOCKS),
    ("serial send-ahead 64", "serial", "24C16", (), {"serial_window": 64}, BLOCKS, BLOCKS),
]


@pytest.mark.parametrize("what,link,device,keys,settings,data,chip", SETTINGS, ids=[s[0] for s in SETTINGS])
def test_settings_reach_the_chip(adapter, tmp_path, what, link, device, keys, settings, data, chip):
    port = adapter(link, device, *keys)
    with zylisp.Programmer(port=port, device=device) as p:
        for name, value in settings.items():
            setattr(p, name, value)
        assert {name: getattr(p, name) for name in settings} == settings
        p.program(data)
        # zylsim keeps its chip to itself: read back through the same link.
        back = p.read() if link == "serial" else None
    assert (back if link == "serial" else (tmp_path / "chip.bin").read_bytes()) == chip


def test_ignore_checksums_loads_a_hand_edited_file(adapter, tmp_path):
    port = adapter("parallel", "24C16")
    edited = tmp_path / "edited.hex"
    edited.write_text(":0400000001020304F0\n:00000001FF\n")  # checksum F2 edited to F0
    with zylisp.Programmer(port=port, device="24C16") as p:
        p.ignore_checksums = True
        p.program(edited)
        assert p.read()[:5] == b"\x01\x02\x03\x04\xff"


# The child runs two paced programs of a 24C1024 (18 s each), one on its
# main thread and one on another, or both on other threads while the main
# thread waits for them; Ctrl-C comes once both have started.
CTRL_C_CHILD = r"""
import sys, time
import signal, threading, zylisp
pattern = bytes((i * 7 + i // 256) & 0xFF for i in range(131072))
started = [threading.Event(), threading.Event()]
chips = [zylisp.Programmer(f"COM{n + 1}", "24C1024", progress=lambda done, total, n=n: started[n].set())
         for n in range(2)]
ended = {}

def program(n):
    try:
        chips[n].program(pattern)
        ended[n] = "finished"
    except zylisp.Cancelled:
        ended[n] = "cancelled"
    except KeyboardInterrupt as e:
        ended[n] = "cancelled" if isinstance(e.__cause__, zylisp.Cancelled) else "interrupted"

def announce():
    for event in started:
        event.wait()
    print("running", flush=True)

threading.Thread(target=announce, daemon=True).start()
if sys.argv[1] == "main runs one":
    other = threading.Thread(target=program, args=(1,))
    other.start()
    program(0)
    other.join()
else:
    workers = [threading.Thread(target=program, args=(n,)) for n in range(2)]
    for worker in workers:
        worker.start()
    # The main thread waits in sleeps, where Ctrl-C raises KeyboardInterrupt
    # once the others are asked to stop (a join it interrupts may end early).
    while any(worker.is_alive() for worker in workers):
        try:
            time.sleep(0.05)
        except KeyboardInterrupt:
            pass
    for worker in workers:
        worker.join()

def ctrl_c_raises():  # the handler in place still ends a script as Python's own does
    try:
        signal.getsignal(signal.SIGINT)(signal.SIGINT, None)
    except KeyboardInterrupt:
        return True
    return False

print(ended[0], ended[1], ctrl_c_raises())
kept = {}

def check(n):
    chip = chips[n].read()
    # Whole pages of the pattern, then the blank rest.
    differs = next((a for a in range(len(chip)) if chip[a] != pattern[a]), len(chip))
    pages = differs // 128 * 128
    kept[n] = pages < len(chip) and chip == pattern[:pages] + b"\xff" * (len(chip) - pages)
    chips[n].close()

readers = [threading.Thread(target=check, args=(n,)) for n in range(2)]
for reader in readers:
    reader.start()
for reader in readers:
    reader.join()
print(kept[0], kept[1])
"""


@pytest.mark.parametrize("main", ["main runs one", "main waits"])
def test_ctrl_c_stops_the_operations_of_every_thread(adapter, main):
    for _ in range(2):
        adapter("serial", "24C1024", "pace=1")
    child = subprocess.Popen([sys.executable, "-c", CTRL_C_CHILD, main], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "running\n"
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=600)
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert child.returncode == 0, err
    assert out.split() == ["cancelled", "cancelled", "True", "True", "True"], err


CHIP_PAIRS = [
    ("two serial", [("serial", "24C16"), ("serial", "25C32")]),
    ("parallel and serial", [("parallel", "93C86"), ("serial", "24C32")]),
]


@pytest.mark.parametrize("what,chips", CHIP_PAIRS, ids=[c[0] for c in CHIP_PAIRS])
def test_programmers_work_at_once_on_their_own_ports(adapter, what, chips):
    ports = [adapter(link, device) for link, device in chips]
    listed = sorted(ports, key=lambda port: not port.startswith("LPT"))
    failures, listings, results = [], [], {}
    finished = threading.Event()
    # Each program waits at its first report for the other's: both run at once.
    both_running = threading.Barrier(2, timeout=120)

    def work(port, device, step):
        try:
            totals = set()

            def progress(done, total):
                if not totals:
                    both_running.wait()
                totals.add(total)

            with zylisp.Programmer(port=port, device=device, progress=progress) as p:
                data = bytes((i * step + i // 256) & 0xFF for i in range(p.size))
                p.program(data)
                p.verify(data)
                results[port] = (p.read() == data, totals == {p.size})
        except BaseException as e:
            failures.append(e)

    def list_ports():
        try:
            while not listings or not finished.is_set():
                listings.append(zylisp.ports())
        except BaseException as e:
            failures.append(e)

    workers = [threading.Thread(target=work, args=(port, device, 2 * n + 3))
               for n, (port, (_, device)) in enumerate(zip(ports, chips))]
    lister = threading.Thread(target=list_ports)
    for thread in [lister, *workers]:
        thread.start()
    for worker in workers:
        worker.join()
    finished.set()
    lister.join()
    assert not failures
    assert results == {port: (True, True) for port in ports}
    assert listings and all(listing == listed for listing in listings)


def test_a_progress_callback_cannot_call_the_library(adapter):
    port = adapter("parallel", "24C16")
    with zylisp.Programmer(port=port, device="24C16", progress=lambda *_: p.read()) as p:
        # A callback that calls the library stops the operation (at its first
        # report, before any page) instead of deadlocking.
        with pytest.raises(zylisp.InUseError) as refused:
            p.program(DATA)
        assert isinstance(refused.value.__cause__, zylisp.Cancelled)
    with zylisp.Programmer(port=port, device="24C16") as p:
        assert p.read() == BLANK_2K


def test_spi_status_register_guards_the_chip(adapter):
    port = adapter("parallel", "25C16")
    with zylisp.Programmer(port=port, device="25C16") as p:
        p.status = 0x0C  # BP1 BP0: all blocks protected
        assert p.status & 0x0C == 0x0C
        with pytest.raises(zylisp.WriteProtected):
            p.program(DATA)
        p.status = 0x00
        assert p.status & 0x0C == 0
        assert p.read() == BLANK_2K
