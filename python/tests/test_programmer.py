import os
import re
import signal
import threading

import pytest
import zylisp
from conftest import BLANK_2K

DATA = bytes((i * 37 + 11) & 0xFF for i in range(2048))


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


FAILURES = [
    # what, sim keys, port, action, exception, code, chip blank afterwards
    ("missing port", (), "COM2", None, zylisp.PortError, 4, True),
    ("stuck cell", ("fault=stuck:0x10:0xff:0x00",), "COM1",
     lambda p, tmp: (p.program(DATA), p.verify(DATA)), zylisp.VerifyError, 10, False),
    ("unknown file", (), "COM1", lambda p, tmp: p.program(tmp / "missing.hex"), zylisp.FileError, 1, True),
    ("I2C status", (), "COM1", lambda p, tmp: p.status, zylisp.NotSupported, 11, True),
    ("I2C status write", (), "COM1", lambda p, tmp: setattr(p, "status", 0), zylisp.NotSupported, 11, True),
    ("too many bytes", (), "COM1", lambda p, tmp: p.program(DATA + b"\0"), ValueError, None, True),
]


@pytest.mark.parametrize("what,keys,port,action,kind,code,blank", FAILURES, ids=[f[0] for f in FAILURES])
def test_failures_raise_their_kind(adapter, tmp_path, what, keys, port, action, kind, code, blank):
    adapter("serial", "24C16", *keys)
    if action is None:
        with pytest.raises(kind) as failure:
            zylisp.Programmer(port=port, device="24C16")
    else:
        with zylisp.Programmer(port=port, device="24C16") as p:
            with pytest.raises(kind) as failure:
                action(p, tmp_path)
            assert (p.read() == BLANK_2K) == blank
    if code is not None:
        assert failure.value.code == code and failure.value.text


def test_ctrl_c_stops_a_program_at_a_page_boundary(adapter, tmp_path):
    port = adapter("serial", "24C1024", "pace=1")
    pattern = bytes((i * 7 + i // 256) & 0xFF for i in range(131072))
    (tmp_path / "pattern.bin").write_bytes(pattern)
    # No progress callback: the main thread runs no Python code of its own
    # during the paced program, which takes 18 s; the signal comes 2 s in.
    ctrl_c = threading.Timer(2.0, os.kill, (os.getpid(), signal.SIGINT))
    with zylisp.Programmer(port=port, device="24C1024") as p:
        ctrl_c.start()
        try:
            with pytest.raises(KeyboardInterrupt) as stopped:
                p.program(tmp_path / "pattern.bin")
        finally:
            ctrl_c.cancel()
        assert isinstance(stopped.value.__cause__, zylisp.Cancelled)
        assert signal.getsignal(signal.SIGINT) is signal.default_int_handler
        chip = p.read()
    assert chip[:128] == pattern[:128]
    assert chip[-128:] == b"\xff" * 128


def test_one_programmer_and_one_caller_at_a_time(adapter):
    port = adapter("parallel", "24C16")
    with zylisp.Programmer(port=port, device="24C16", progress=lambda *_: p.read()) as p:
        with pytest.raises(zylisp.InUseError):
            zylisp.Programmer(port=port, device="24C16")
        with pytest.raises(zylisp.InUseError):
            zylisp.ports()
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
