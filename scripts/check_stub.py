#!/usr/bin/env python3
"""Checks a delivered executable (the wizard, BrindleRules.exe) before anyone runs it:

- it imports no MinGW runtime DLL (a user's machine has none of them);
- every delay-loaded function still has its stub: a slot whose stub the linker dropped stays
  null and the first call jumps to address 0 (seen with dllimport-declared WinINet on i686);
- the wizard stub, stripped as it is delivered, stays within its size ceiling.

    check_stub.py [--stub-ceiling-kib KIB] STUB [EXE ...]     exit code 1 on any problem found
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

RUNTIME_DLLS = re.compile(r"^(libgcc_s.*|libstdc\+\+.*|libwinpthread.*|libssp.*|libatomic.*)\.dll$", re.I)


def tool(exe, name):
    head = subprocess.run(["file", "-b", exe], capture_output=True, text=True).stdout
    prefix = "x86_64-w64-mingw32" if "x86-64" in head else "i686-w64-mingw32"
    return f"{prefix}-{name}"


def sections(exe):
    """(vma, size, file offset) of every section with contents."""
    out = subprocess.run([tool(exe, "objdump"), "-h", exe], capture_output=True, text=True, check=True).stdout
    rows = re.findall(r"^\s*\d+\s+\S+\s+([0-9a-f]+)\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)", out, re.M)
    return [(int(vma, 16), int(size, 16), int(offset, 16)) for size, vma, offset in rows]


def read_slot(data, layout, address, width):
    for vma, size, offset in layout:
        if vma <= address < vma + size:
            return int.from_bytes(data[offset + address - vma:offset + address - vma + width], "little")
    return None


def problems(exe):
    dump = subprocess.run([tool(exe, "objdump"), "-p", exe], capture_output=True, text=True, check=True).stdout
    for dll in re.findall(r"DLL Name: (\S+)", dump):
        if RUNTIME_DLLS.match(dll):
            yield f"imports the MinGW runtime DLL {dll}"
    width = 8 if "x86_64" in tool(exe, "nm") else 4
    symbols = subprocess.run([tool(exe, "nm"), exe], capture_output=True, text=True).stdout
    absolute_zero = set()
    slots = {}
    for line in symbols.splitlines():
        parts = line.split()
        if len(parts) != 3:
            continue
        if parts[1] == "A" and int(parts[0], 16) == 0:
            absolute_zero.add(parts[2])
        elif parts[1] == "I" and parts[2].startswith("__imp_"):
            slots[parts[2]] = int(parts[0], 16)
    data = open(exe, "rb").read()
    layout = sections(exe)
    prefix = "__imp_"
    for name, address in slots.items():
        target = name[len(prefix):]
        # A plain import slot holds its name's address until the loader fills it; a delay-load
        # slot holds its stub's address. Zero means the stub was dropped.
        if target in absolute_zero and read_slot(data, layout, address, width) == 0:
            yield f"the delay-load stub of {target} was dropped: its first call would jump to address 0"


def stripped_size(exe):
    with tempfile.TemporaryDirectory() as folder:
        stripped = os.path.join(folder, "stripped.exe")
        subprocess.run([tool(exe, "strip"), "-o", stripped, exe], check=True)
        return os.path.getsize(stripped)


def main():
    parser = argparse.ArgumentParser(description="Checks delivered executables before anyone runs them.")
    parser.add_argument("--stub-ceiling-kib", type=int, help="largest stripped size of STUB, in KiB")
    parser.add_argument("stub", metavar="STUB", help="the wizard stub")
    parser.add_argument("others", metavar="EXE", nargs="*", help="other delivered executables")
    options = parser.parse_args()
    failed = False
    for exe in [options.stub, *options.others]:
        for problem in problems(exe):
            print(f"check_stub: {exe}: {problem}", file=sys.stderr)
            failed = True
    if options.stub_ceiling_kib is not None:
        size = stripped_size(options.stub)
        if size > options.stub_ceiling_kib * 1024:
            print(f"check_stub: {options.stub}: {size} bytes stripped ({size / 1024:.1f} KiB), over the ceiling of "
                  f"{options.stub_ceiling_kib} KiB", file=sys.stderr)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
