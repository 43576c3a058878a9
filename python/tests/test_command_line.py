import os
import subprocess
import sys


def zylisp_command(*arguments, **environment):
    return subprocess.run([sys.executable, "-m", "zylisp", *map(str, arguments)], capture_output=True,
                          text=True, timeout=300, env={**os.environ, **environment})


def test_commands_program_read_and_verify(adapter, tmp_path):
    port = adapter("parallel", "24C16")
    chip = ("--port", port, "--device", "24C16")
    data = tmp_path / "data.bin"
    data.write_bytes(bytes(range(256)) * 8)
    done = zylisp_command("program", *chip, "--erase", "--verify", data)
    assert done.returncode == 0, done.stderr
    done = zylisp_command("read", *chip, tmp_path / "back.bin")
    assert done.returncode == 0, done.stderr
    assert (tmp_path / "back.bin").read_bytes() == data.read_bytes()
    (tmp_path / "zeros.bin").write_bytes(bytes(2048))
    done = zylisp_command("verify", *chip, tmp_path / "zeros.bin")
    assert done.returncode == 1 and "verify failure" in done.stderr


def test_missing_library_is_named_and_help_needs_none():
    missing = "/nonexistent/libzylisp.so.1"
    done = zylisp_command("--help", ZYLISP_LIBRARY=missing)
    assert done.returncode == 0
    assert all(c in done.stdout for c in ("list-devices", "list-ports", "program", "verify", "read"))
    done = zylisp_command("list-ports", ZYLISP_LIBRARY=missing)
    assert done.returncode == 1
    assert f"ZYLISP_LIBRARY={missing}" in done.stderr
