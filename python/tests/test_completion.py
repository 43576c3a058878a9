"""The shell completion of velkoisp, typed with TAB into an interactive bash
on a pseudo-terminal."""

import os
import pty
import re
import select
import shutil
import subprocess
import time
from pathlib import Path

import pytest

COMPLETION = Path(__file__).resolve().parents[2] / "packaging" / "velkoisp.bash-completion"
NO_EQUALS_BREAK = "COMP_WORDBREAKS=${COMP_WORDBREAKS//=}"

CASES = [
    # what, shell setup, typed before TAB, line after TAB and "X"
    ("option", "", "velkoisp --ignorech", "velkoisp --ignorechecksums X"),
    ("option with a value", "", "velkoisp --devi", "velkoisp --device=X"),
    ("device", "", "velkoisp --device=93C4", "velkoisp --device=93C46 X"),
    ("device, = no word break", NO_EQUALS_BREAK, "velkoisp --device=93C4", "velkoisp --device=93C46 X"),
    ("port", "", "velkoisp --port=CO", "velkoisp --port=COM1 X"),
    ("program file", "", "velkoisp --programeeprom=da", "velkoisp --programeeprom=data.hex X"),
    ("verify file", "", "velkoisp --verifyeeprom=da", "velkoisp --verifyeeprom=data.hex X"),
    ("read file", "", "velkoisp --readeeprom=da", "velkoisp --readeeprom=data.hex X"),
    ("firmware folder", "", "velkoisp --updatefw=fw", "velkoisp --updatefw=fwdir/X"),
]


def typed_line(tmp_path: Path, setup: str, typed: str) -> str:
    """Types the line, TAB and "X" into bash, runs the result as arguments
    of echo and gives what echo printed."""
    velkoisp = os.environ.get("VELKOISP")
    assert velkoisp, "VELKOISP must name the velkoisp program"
    environment = {"PATH": f"{os.path.dirname(velkoisp)}:/usr/bin:/bin", "TERM": "dumb", "PS1": "$ ",
                   "HOME": str(tmp_path), "INPUTRC": "/dev/null", "ZYLISP_SERIAL_PORTS": "/dev/null"}
    master, slave = pty.openpty()
    shell = subprocess.Popen([shutil.which("bash") or "/bin/bash", "--norc", "--noprofile", "-i"],
                             stdin=slave, stdout=slave, stderr=slave, cwd=tmp_path, env=environment,
                             start_new_session=True)
    os.close(slave)
    # Ctrl-A and Ctrl-E put echo before the completed line and a mark after it.
    os.write(master, f"source '{COMPLETION}'\n{setup}\n{typed}\tX\x01echo \x05 :end\n".encode())
    # The terminal echoes the typed keys too; that line holds "echo".
    printed = re.compile(r"^(?!.*echo)(velkoisp.*) :end\r$", re.MULTILINE)
    seen, deadline = b"", time.monotonic() + 60
    try:
        while not printed.search(seen.decode(errors="replace")) and time.monotonic() < deadline:
            if select.select([master], [], [], 1)[0]:
                seen += os.read(master, 4096)
    finally:
        shell.kill()
        shell.wait()
        os.close(master)
    found = printed.search(seen.decode(errors="replace"))
    assert found, f"no echoed line in {seen!r}"
    return found.group(1)


@pytest.mark.parametrize("what,setup,typed,completed", CASES, ids=[c[0] for c in CASES])
def test_tab_completes_options_and_values(tmp_path, what, setup, typed, completed):
    (tmp_path / "data.hex").write_text(":00000001FF\n")
    (tmp_path / "fwnotes.txt").write_text("")  # a file beside the folder: only folders count
    (tmp_path / "fwdir").mkdir()
    assert typed_line(tmp_path, setup, typed) == completed
