"""python3 -m zylisp: the package's calls from the command line."""

from __future__ import annotations

import argparse
import sys
from typing import Callable, List, Optional

from . import (BUSES, Format, InUseError, LibraryNotFound, Programmer, ZylispError, devices,
               library_version, ports)


def _percent_printer() -> Optional[Callable[[int, int], None]]:
    if not sys.stderr.isatty():
        return None

    def show(done: int, total: int) -> None:
        sys.stderr.write(f"\r{100 * done // total:3d}%")
        sys.stderr.flush()

    return show


def _clear_percentage() -> None:
    if sys.stderr.isatty():
        sys.stderr.write("\r    \r")


def _report(text: str) -> None:
    _clear_percentage()
    print(text)


def _list_devices(args: argparse.Namespace) -> None:
    for bus, names in devices().items():
        if args.bus in (None, bus):
            for name in names:
                print(f"{name}\t{bus}")


def _list_ports(args: argparse.Namespace) -> None:
    for name in ports():
        print(name)


def _programmer(args: argparse.Namespace) -> Programmer:
    return Programmer(port=args.port, device=args.device, progress=_percent_printer())


def _program(args: argparse.Namespace) -> None:
    with _programmer(args) as p:
        if args.erase:
            p.erase()
        p.program(args.file)
        if args.verify:
            p.verify(args.file)
    _report(f"programmed {args.device} on {args.port} from {args.file}")


def _verify(args: argparse.Namespace) -> None:
    with _programmer(args) as p:
        p.verify(args.file)
    _report(f"{args.device} on {args.port} matches {args.file}")


def _read(args: argparse.Namespace) -> None:
    with _programmer(args) as p:
        p.read(args.file, format=Format[args.format] if args.format else None)
    _report(f"read {args.device} on {args.port} into {args.file}")


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="python3 -m zylisp",
        description="Erases, programs, verifies and reads serial EEPROMs through the adapter.")
    parser.add_argument("--version", action="store_true", help="print the library's version")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND")

    listing = commands.add_parser("list-devices", help="the parts the library knows, with their bus")
    listing.add_argument("--bus", choices=BUSES, help="only the parts of this bus")
    listing.set_defaults(run=_list_devices)
    commands.add_parser("list-ports", help="the ports of this machine").set_defaults(run=_list_ports)

    def chip_command(name: str, text: str, file_text: str) -> argparse.ArgumentParser:
        command = commands.add_parser(name, help=text)
        command.add_argument("--port", required=True, help="COMn or LPTn")
        command.add_argument("--device", required=True, help="part name, see list-devices")
        command.add_argument("file", help=file_text)
        return command

    program = chip_command("program", "write a data file into the chip",
                           "Intel hex, Motorola, Tektronix or binary file")
    program.add_argument("--erase", action="store_true", help="erase the chip first")
    program.add_argument("--verify", action="store_true", help="compare the chip with the file afterwards")
    program.set_defaults(run=_program)
    chip_command("verify", "compare the chip with a data file", "the file to compare with").set_defaults(
        run=_verify)
    read = chip_command("read", "read the whole chip into a file", "the file to write")
    read.add_argument("--format", choices=[f.name for f in Format],
                      help="file format (default: by suffix: .bin, .s19, .s28, .s37, .tek, else Intel hex)")
    read.set_defaults(run=_read)
    return parser


def main(argv: Optional[List[str]] = None) -> int:
    """Runs one command; 0 on success, 1 on a failure, 130 after Ctrl-C."""
    parser = _parser()
    args = parser.parse_args(argv)
    try:
        if args.version:
            print(library_version())
            return 0
        if args.command is None:
            parser.print_usage(sys.stderr)
            return 2
        args.run(args)
        return 0
    except (ZylispError, InUseError, LibraryNotFound, ValueError) as e:
        _clear_percentage()
        print(f"zylisp: {e}", file=sys.stderr)
        return 1
    except KeyboardInterrupt as e:
        _clear_percentage()
        print(f"zylisp: {e or 'interrupted'}", file=sys.stderr)
        return 130


if __name__ == "__main__":
    sys.exit(main())
