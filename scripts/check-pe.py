#!/usr/bin/env python3
"""Checks Windows binaries of the kit with `objdump -p`.

Every binary may import from Windows' own system DLLs only (the C and C++ runtimes and liblzma
are linked in statically). halyard4inst.dll must export RegisterModule and RunApplication under
their plain names, as an installer looks them up by name.

usage: check-pe.py [--objdump PROG] [--machine i386|x86-64] FILE...
Exit status 0 when every file passes; otherwise each fault is printed on its own line.
"""

import argparse
import os
import re
import subprocess
import sys

# DLLs that every Windows installation has. msvcrt.dll is the system's C runtime that mingw-w64
# builds on; it ships with Windows itself.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
    "oleaut32.dll", "msvcrt.dll", "ws2_32.dll", "comctl32.dll", "comdlg32.dll", "version.dll",
    "shlwapi.dll", "rpcrt4.dll", "bcrypt.dll", "ntdll.dll",
}

REQUIRED_EXPORTS = {"halyard4inst.dll": ["RegisterModule", "RunApplication"]}


def parse(text):
    """Returns (file format, imported DLL names, exported names) from `objdump -p` output."""
    fmt = ""
    m = re.search(r"file format (\S+)", text)
    if m:
        fmt = m.group(1)
    imports = re.findall(r"^\s*DLL Name:\s*(\S+)\s*$", text, re.M)
    exports = []
    m = re.search(r"\[Ordinal/Name Pointer\] Table\n((?:[ \t]+\[.*\n?)*)", text)
    if m:
        for line in m.group(1).splitlines():
            e = re.match(r"\s*\[\s*\d+\]\s+(\S+)", line)
            if e:
                exports.append(e.group(1))
    return fmt, imports, exports


def check(path, objdump, machine):
    faults = []
    proc = subprocess.run([objdump, "-p", path], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          universal_newlines=True)
    if proc.returncode != 0:
        return ["%s: %s -p failed: %s" % (path, objdump, proc.stderr.strip())]
    fmt, imports, exports = parse(proc.stdout)
    if machine and fmt != "pei-" + machine:
        faults.append("%s: file format %s, expected pei-%s" % (path, fmt or "unknown", machine))
    if not imports:
        faults.append("%s: no import table found" % path)
    for dll in imports:
        if dll.lower() not in SYSTEM_DLLS:
            faults.append("%s: imports %s, which is not a Windows system DLL" % (path, dll))
    for name in REQUIRED_EXPORTS.get(os.path.basename(path).lower(), []):
        if name not in exports:
            decorated = [e for e in exports if e.lstrip("_").split("@")[0] == name]
            faults.append("%s: does not export %s undecorated (found: %s)"
                          % (path, name, ", ".join(decorated) or "nothing of that name"))
    return faults


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--objdump", default="i686-w64-mingw32-objdump")
    ap.add_argument("--machine", default="", help="i386 or x86-64: the expected PE machine")
    ap.add_argument("files", nargs="+")
    args = ap.parse_args()
    faults = []
    for path in args.files:
        faults += check(path, args.objdump, args.machine)
    for fault in faults:
        print(fault, file=sys.stderr)
    if not faults:
        print("ok: " + ", ".join(os.path.basename(f) for f in args.files))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
