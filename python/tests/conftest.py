"""Emulated adapters for the package's tests: zylsim on pseudo-terminals
(COM1, COM2, ...) or the library's simulated LPT1. The library reads its environment
when it enumerates ports and opens a connection, so one process serves all
tests."""

import os
import subprocess
from pathlib import Path
from typing import Callable, Iterator, List

import pytest

BLANK_2K = b"\xff" * 2048  # a blank 24C16 or 25C16


@pytest.fixture(autouse=True)
def _no_adapter_from_outside(monkeypatch: pytest.MonkeyPatch) -> None:
    for name in ("ZYLISP_LPT_SIM", "ZYLISP_SERIAL_PORTS"):
        monkeypatch.delenv(name, raising=False)


@pytest.fixture
def adapter(monkeypatch: pytest.MonkeyPatch, tmp_path: Path) -> Iterator[Callable[..., str]]:
    """start(link, device, *keys) puts an emulated adapter with that chip on
    "serial" (zylsim, options --key=value) or "parallel" (ZYLISP_LPT_SIM)
    and gives the port name to use. Each serial one is the next COMn."""
    sims: List[subprocess.Popen] = []
    paths: List[str] = []

    def start(link: str, device: str, *keys: str) -> str:
        if link == "parallel":
            config = ",".join([f"device={device}", f"image={tmp_path / 'chip.bin'}", *keys])
            monkeypatch.setenv("ZYLISP_LPT_SIM", config)
            return "LPT1"
        zylsim = os.environ.get("ZYLSIM")
        assert zylsim, "ZYLSIM must name the zylsim program"
        sim = subprocess.Popen([zylsim, f"--device={device}", *(f"--{key}" for key in keys)],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        sims.append(sim)
        assert sim.stdout is not None
        paths.append(sim.stdout.readline().strip())
        monkeypatch.setenv("ZYLISP_SERIAL_PORTS", ":".join(paths))
        return f"COM{len(paths)}"

    yield start
    for sim in sims:
        assert sim.stdin is not None
        sim.stdin.close()  # zylsim ends when its input closes
        sim.wait(timeout=120)
