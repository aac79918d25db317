#!/usr/bin/env python3
"""Checks the headers of the Windows build's files with objdump.

    check_dll.py OBJDUMP FILE [--format pei-i386|pei-x86-64] [--export NAME]...

FILE must be a PE file of the given format (default pei-i386: 32-bit) importing
only DLLs that every Windows has (the C++ runtime, libgcc and winpthreads are
linked in, never beside it). With --export, its export table must name exactly
the given entries, undecorated, and nothing else (no ordinal-only exports either).
"""
import argparse
import re
import subprocess
import sys

# DLLs that ship with Windows itself; anything else would have to travel with the plug-in.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll",
    "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "winmm.dll", "ws2_32.dll", "wsock32.dll", "ntdll.dll",
}

# objdump's names of the PE formats the Windows builds make.
FORMATS = {"pei-i386": "32-bit", "pei-x86-64": "64-bit"}


def parse(dump):
    """Returns (file format, imported DLL names, exported names, export address count)."""
    fmt = re.search(r"file format (\S+)", dump)
    imports = [m.group(1) for m in re.finditer(r"^\s*DLL Name: (\S+)", dump, re.M)]
    exports = []
    table = re.search(r"\[Ordinal/Name Pointer\] Table\n((?:[ \t]+\[.*\n)*)", dump)
    if table:
        exports = [m.group(1) for m in re.finditer(r"\[\s*\d+\]\s+(\S+)", table.group(1))]
    count = re.search(r"Export Address Table\s+([0-9a-fA-F]+)\n", dump)
    return (fmt.group(1) if fmt else "", imports, exports,
            int(count.group(1), 16) if count else 0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("objdump")
    parser.add_argument("file")
    parser.add_argument("--format", default="pei-i386", choices=sorted(FORMATS))
    parser.add_argument("--export", action="append", default=None)
    args = parser.parse_args()

    dump = subprocess.run([args.objdump, "-p", args.file], check=True,
                          capture_output=True, text=True).stdout
    fmt, imports, exports, address_count = parse(dump)
    problems = []
    if fmt != args.format:
        problems.append(f"file format is {fmt!r}, expected a {FORMATS[args.format]} PE file "
                        f"({args.format})")
    if not imports:
        problems.append("no import table found")
    for name in imports:
        if name.lower() not in SYSTEM_DLLS:
            problems.append(f"imports {name}, which is not part of Windows")
    if args.export is not None:
        if sorted(exports) != sorted(args.export):
            problems.append(f"exports {exports}, expected exactly {args.export}")
        if address_count != len(args.export):
            problems.append(f"{address_count} entries in the export address table, "
                            f"expected {len(args.export)}")
    print(f"{args.file}: {fmt}; imports {', '.join(imports)}; exports {exports}")
    for problem in problems:
        print("FAIL " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
