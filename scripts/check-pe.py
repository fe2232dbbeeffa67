#!/usr/bin/env python3
"""Checks Windows binaries of the kit: imports and exports with `objdump -p`, resources from the
file's own resource section.

Every binary may import from Windows' own system DLLs only (the C and C++ runtimes and liblzma
are linked in statically). halyard4inst.dll must export RegisterModule and RunApplication and their
wide twins RegisterModuleW and RunApplicationW under their plain names, as an installer looks them
up by name.

With --version, every file must also carry a VERSIONINFO resource of that version (file and
product version, fixed and as text), with the product name halyard4, a file description, its own
file name as original file name and the file type of a program or a library; lzmulti.exe must
carry an application manifest that runs it as invoker, names the supported Windows versions and
opts in to long paths, and be large-address-aware (4 GiB of address space on 64-bit Windows, which
large windows need).

usage: check-pe.py [--objdump PROG] [--machine i386] [--version X.Y.Z] FILE...
Exit status 0 when every file passes; otherwise each fault is printed on its own line.
"""

import argparse
import os
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

# DLLs that every Windows installation has. msvcrt.dll is the system's C runtime that mingw-w64
# builds on; it ships with Windows itself.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
    "oleaut32.dll", "msvcrt.dll", "ws2_32.dll", "comctl32.dll", "comdlg32.dll", "version.dll",
    "shlwapi.dll", "rpcrt4.dll", "bcrypt.dll", "ntdll.dll",
}

REQUIRED_EXPORTS = {"halyard4inst.dll": ["RegisterModule", "RunApplication", "RegisterModuleW",
                                        "RunApplicationW"]}

PRODUCT_NAME = "halyard4"
FILE_TYPES = {".exe": 1, ".dll": 2}  # VFT_APP, VFT_DLL
RT_VERSION = 16
RT_MANIFEST = 24
MANIFEST_REQUIRED = {"lzmulti.exe"}
LARGE_ADDRESS_AWARE = {"lzmulti.exe"}
IMAGE_FILE_LARGE_ADDRESS_AWARE = 0x0020
WINDOWS_SETTINGS = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
SUPPORTED_OS = {
    "Windows Vista": "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
    "Windows 7": "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "Windows 8": "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "Windows 8.1": "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "Windows 10 and 11": "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"


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


def resources(data):
    """Returns {(type id, name id): bytes} of the PE file's resource section (first language of
    each); named types and names are left out. Raises ValueError on a malformed file."""
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, optional_size = struct.unpack_from("<xxH12xH", data, pe + 4)
    optional = pe + 24
    (magic,) = struct.unpack_from("<H", data, optional)
    directories = optional + {0x10B: 96, 0x20B: 112}[magic]
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, directories + 2 * 8)
    if rsrc_size == 0:
        return {}
    table = [struct.unpack_from("<8xIIII", data, optional + optional_size + 40 * i)
             for i in range(sections)]

    def offset(rva):
        for virtual_size, address, raw_size, raw_offset in table:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_offset + rva - address
        raise ValueError("address 0x%x lies in no section" % rva)

    base = offset(rsrc_rva)

    def entries(directory):
        named, ids = struct.unpack_from("<12xHH", data, base + directory)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            if not name & 0x80000000:
                yield name, target

    found = {}
    for type_id, names in entries(0):
        if not names & 0x80000000:
            continue
        for name_id, languages in entries(names & 0x7FFFFFFF):
            for _, leaf in entries(languages & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                found.setdefault((type_id, name_id), data[offset(rva):offset(rva) + size])
    return found


def version_node(blob, start=0):
    """One node of a VERSIONINFO tree: (key, value bytes, text flag, children), and its end."""
    length, value_length, text = struct.unpack_from("<HHH", blob, start)
    end = start + length
    key_end = start + 6
    while blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[start + 6:key_end].decode("utf-16-le")
    value_start = (key_end + 2 + 3) & ~3
    value_end = value_start + value_length * (2 if text else 1)
    children = []
    child = (value_end + 3) & ~3
    while child < end:
        node, child_end = version_node(blob, child)
        children.append(node)
        child = (child_end + 3) & ~3
    return (key, blob[value_start:value_end], text, children), end


def version_info(blob):
    """(file version, product version, file type, {string name: text}) of a VERSIONINFO."""
    (key, fixed, _, children), _ = version_node(blob)
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if key != "VS_VERSION_INFO" or signature != 0xFEEF04BD:
        raise ValueError("no VS_FIXEDFILEINFO")
    (file_type,) = struct.unpack_from("<I", fixed, 36)
    strings = {}
    for child_key, _, _, tables in children:
        if child_key == "StringFileInfo":
            for _, _, _, entries in tables:
                for name, value, _, _ in entries:
                    strings[name] = value.decode("utf-16-le").rstrip("\0")

    def numbers(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    return numbers(file_ms, file_ls), numbers(product_ms, product_ls), file_type, strings


def check_version(path, found, version):
    name = os.path.basename(path)
    blob = found.get((RT_VERSION, 1))
    if blob is None:
        return ["%s: no VERSIONINFO resource" % path]
    try:
        file_version, product_version, file_type, strings = version_info(blob)
    except (ValueError, struct.error) as e:
        return ["%s: unreadable VERSIONINFO resource: %s" % (path, e)]
    faults = []
    numbers = tuple(int(n) for n in version.split(".")) + (0,)
    for label, value in (("file version", file_version), ("product version", product_version)):
        if value != numbers:
            faults.append("%s: %s %s, expected %s" % (path, label, ".".join(map(str, value)),
                                                      ".".join(map(str, numbers))))
    expected = {"FileVersion": version, "ProductVersion": version,
                "ProductName": PRODUCT_NAME, "OriginalFilename": name}
    for key, value in expected.items():
        if strings.get(key, "").lower() != value.lower():
            faults.append("%s: %s is %r, expected %r" % (path, key, strings.get(key), value))
    if not strings.get("FileDescription"):
        faults.append("%s: no FileDescription" % path)
    wanted_type = FILE_TYPES.get(os.path.splitext(name)[1].lower())
    if wanted_type is not None and file_type != wanted_type:
        faults.append("%s: file type %d, expected %d" % (path, file_type, wanted_type))
    return faults


def check_manifest(path, found):
    blob = found.get((RT_MANIFEST, 1))
    if blob is None:
        return ["%s: no application manifest" % path]
    try:
        root = ElementTree.fromstring(blob)
    except ElementTree.ParseError as e:
        return ["%s: the manifest is no well-formed XML: %s" % (path, e)]
    faults = []
    levels = [(e.get("level"), e.get("uiAccess", "false"))
              for e in root.iter(ASM_V3 + "requestedExecutionLevel")]
    if levels != [("asInvoker", "false")]:
        faults.append("%s: requested execution level %s, expected asInvoker without uiAccess"
                      % (path, levels or "missing"))
    long_paths = [(e.text or "").strip() for e in root.iter(WINDOWS_SETTINGS + "longPathAware")]
    if long_paths != ["true"]:
        faults.append("%s: the manifest does not opt in to long paths" % path)
    named = {e.get("Id", "").lower() for e in root.iter(COMPATIBILITY + "supportedOS")}
    for system, guid in SUPPORTED_OS.items():
        if guid not in named:
            faults.append("%s: the manifest does not name %s as supported" % (path, system))
    return faults


def check_resources(path, version):
    try:
        with open(path, "rb") as f:
            found = resources(f.read())
    except (OSError, ValueError, KeyError, struct.error) as e:
        return ["%s: resources unreadable: %s" % (path, e)]
    faults = check_version(path, found, version)
    if os.path.basename(path).lower() in MANIFEST_REQUIRED:
        faults += check_manifest(path, found)
    return faults


def check(path, objdump, machine, version):
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
    characteristics = re.search(r"^Characteristics\s+0x([0-9a-fA-F]+)", proc.stdout, re.M)
    if (os.path.basename(path).lower() in LARGE_ADDRESS_AWARE and
            (characteristics is None or
             not int(characteristics.group(1), 16) & IMAGE_FILE_LARGE_ADDRESS_AWARE)):
        faults.append("%s: not large-address-aware" % path)
    for dll in imports:
        if dll.lower() not in SYSTEM_DLLS:
            faults.append("%s: imports %s, which is not a Windows system DLL" % (path, dll))
    for name in REQUIRED_EXPORTS.get(os.path.basename(path).lower(), []):
        if name not in exports:
            decorated = [e for e in exports if e.lstrip("_").split("@")[0] == name]
            faults.append("%s: does not export %s undecorated (found: %s)"
                          % (path, name, ", ".join(decorated) or "nothing of that name"))
    if version:
        faults += check_resources(path, version)
    return faults


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--objdump", default="i686-w64-mingw32-objdump")
    ap.add_argument("--machine", default="", help="the expected PE machine as objdump names it (i386)")
    ap.add_argument("--version", default="", help="X.Y.Z: the version the resources must carry")
    ap.add_argument("files", nargs="+")
    args = ap.parse_args()
    faults = []
    for path in args.files:
        faults += check(path, args.objdump, args.machine, args.version)
    for fault in faults:
        print(fault, file=sys.stderr)
    if not faults:
        print("ok: " + ", ".join(os.path.basename(f) for f in args.files))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
