#!/usr/bin/env python3
"""Reads the built tolvane.exe and checks what users and their security
tools rely on: hardening flags, no writable code, only system DLLs, no
timestamp, the resources it ships with, and its size."""

import re
import struct
import sys

IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_SCN_MEM_WRITE = 0x80000000
HIGH_ENTROPY_VA = 0x0020
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
SYSTEM_DLLS = {"advapi32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll",
               "shell32.dll", "user32.dll"}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
MAX_SIZE = 96 * 1024

results = []


def check(condition, what):
    print("%s %s" % ("ok  " if condition else "FAIL", what))
    results.append(bool(condition))


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
        (self.machine, sections, self.timestamp, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, opt + 68)
        count = struct.unpack_from("<I", data, opt + 108)[0]
        self.directories = [struct.unpack_from("<II", data, opt + 112 + 8 * i)
                            for i in range(count)]
        self.sections = []
        table = opt + optional_size
        for i in range(sections):
            name, vsize, va, rawsize, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
            flags = struct.unpack_from("<I", data, table + 40 * i + 36)[0]
            self.sections.append((name.rstrip(b"\0").decode(), va, vsize, raw, rawsize, flags))

    def offset(self, rva):
        for _, va, vsize, raw, rawsize, _ in self.sections:
            if va <= rva < va + max(vsize, rawsize):
                return raw + rva - va
        raise ValueError("address %#x is in no section" % rva)

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode()

    def imported_dlls(self):
        rva = self.directories[1][0]
        dlls = []
        while True:
            entry = struct.unpack_from("<5I", self.data, self.offset(rva))
            if entry[3] == 0:
                return dlls
            dlls.append(self.cstring(entry[3]).lower())
            rva += 20

    def resources(self):
        """{type: {name: [language entries]}} of numeric IDs."""
        base = self.directories[2][0]

        def entries(rva):
            at = self.offset(rva)
            named, numbered = struct.unpack_from("<HH", self.data, at + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                yield ident, target

        tree = {}
        for kind, sub in entries(base):
            tree[kind] = {}
            for name, leaf in entries(base + (sub & 0x7FFFFFFF)):
                tree[kind][name] = list(entries(base + (leaf & 0x7FFFFFFF)))
        return tree, base

    def resource_data(self, base, leaf):
        rva, size = struct.unpack_from("<II", self.data, self.offset(base + leaf))
        start = self.offset(rva)
        return self.data[start:start + size]


def main(exe, link_map):
    with open(exe, "rb") as f:
        data = f.read()
    image = Image(data)

    check(image.machine == 0x8664 and image.magic == 0x20B, "64-bit x64 image")
    check(image.subsystem == 2, "GUI subsystem, no console")
    flags = image.dll_characteristics
    check(flags & DYNAMIC_BASE, "ASLR: dynamic base")
    check(flags & HIGH_ENTROPY_VA, "ASLR: high-entropy 64-bit addresses")
    check(image.directories[5][1] > 0, "ASLR: base relocations present")
    check(flags & NX_COMPAT, "DEP: NX compatible")
    both = [s[0] for s in image.sections
            if s[5] & IMAGE_SCN_MEM_WRITE and s[5] & IMAGE_SCN_MEM_EXECUTE]
    check(not both, "no section both writable and executable %s" % (both or ""))
    check(image.timestamp == 0, "no link timestamp (reproducible)")

    with open(link_map, encoding="utf-8", errors="replace") as f:
        linked = f.read()
    check(re.search(r"\b__stack_chk_fail\b", linked) is not None,
          "stack protector: __stack_chk_fail linked in")
    check(re.search(r"\b__stack_chk_guard\b", linked) is not None,
          "stack protector: the canary is linked in")

    dlls = image.imported_dlls()
    check(set(dlls) <= SYSTEM_DLLS, "imports only system DLLs: %s" % ", ".join(sorted(dlls)))

    tree, base = image.resources()
    check(RT_VERSION not in tree, "no version resource")
    check(sorted(tree.get(RT_GROUP_ICON, {})) == [107, 108], "icon groups 107 and 108")
    for group in (107, 108):
        directory = image.resource_data(base, tree[RT_GROUP_ICON][group][0][1])
        count = struct.unpack_from("<H", directory, 4)[0]
        images = [struct.unpack_from("<BBBBHHIH", directory, 6 + 14 * i) for i in range(count)]
        sizes = sorted(entry[0] or 256 for entry in images)
        check(sizes == [16, 32, 48, 64] and all(e[5] == 32 for e in images),
              "group %d: 32-bit images of 16, 32, 48 and 64 px" % group)
        check(all(e[7] in tree.get(RT_ICON, {}) for e in images),
              "group %d: every image it lists is present" % group)
    manifest = image.resource_data(base, tree[RT_MANIFEST][1][0][1]).decode()
    check('level="asInvoker"' in manifest and 'uiAccess="false"' in manifest,
          "manifest: asInvoker, no UI access")
    check("PerMonitorV2" in manifest, "manifest: per-monitor DPI aware")

    check(len(data) <= MAX_SIZE, "size %d bytes, at most %d" % (len(data), MAX_SIZE))

    failed = results.count(False)
    print("%d passed, %d failed" % (len(results) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
