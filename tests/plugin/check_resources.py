#!/usr/bin/env python3
"""Reads a built Gladewick.8bf as a file (no loader, so the x86 module is
checked on machines that cannot run it) and checks what a host relies on
before it ever calls the plug-in:

- the property list PIPL 16000 and the terminology AETE 16000, language 1033,
  compared byte for byte with a description written here independently;
- the exported names (decorated dialog procedures on x86);
- the imported modules: system DLLs only.

Usage: check_resources.py MODULE.8bf x86|x64
"""
import struct
import sys

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll",
    "shell32.dll", "comctl32.dll", "comdlg32.dll", "ole32.dll", "ntdll.dll",
    "shlwapi.dll", "api-ms-win-crt-runtime-l1-1-0.dll",
}

GUID = b"2d65efd9-61b6-442f-aa24-d78fddd59a61"


def fourcc(code):
    """A four-character code as the module stores it: a 32-bit little-endian number."""
    assert len(code) == 4
    return struct.pack("<I", int.from_bytes(code.encode("ascii"), "big"))


def pascal(text):
    return bytes([len(text)]) + text.encode("ascii")


def padded(data):
    return data + b"\0" * (-len(data) % 4)


def prop(key, data):
    data = padded(data)
    return fourcc("8BIM") + fourcc(key) + struct.pack("<iI", 0, len(data)) + data


def expected_pipl(arch):
    hstm = struct.pack("<i", 0) + fourcc("qvtz") + fourcc("qvtz") + struct.pack("<h", 16000)
    hstm += GUID + b"\0" * 6
    assert len(hstm) == 56
    enbl = b"in (PSHOP_ImageMode, RGBMode, RGB48Mode, GrayScaleMode, Gray16Mode)"
    assert len(enbl) == 67
    fici = b"".join(bytes([4, 4, flags, 0]) for flags in (1, 9, 9, 1, 9, 1, 9))
    props = [
        prop("kind", fourcc("8BFM")),
        prop("name", pascal("Gladewick Pro...")),
        prop("catg", pascal("Corvane Technologies")),
        prop("vers", struct.pack("<I", 0x00040000)),
        prop("wx86" if arch == "x86" else "8664", b"PluginMain\0\0"),
        prop("mode", bytes([0x50, 0, 0, 0])),
        prop("hstm", hstm),
        prop("enbl", enbl + b"\0" * 5),
        prop("ms32", struct.pack("<ii", 2000000, 2000000)),
        prop("fici", fici),
    ]
    return struct.pack("<hiI", 1, 0, len(props)) + b"".join(props)


def expected_aete():
    def param(name, key, type_, desc):
        return pascal(name) + fourcc(key) + fourcc(type_) + pascal(desc) + struct.pack("<H", 0)

    out = struct.pack("<h", 1) + bytes([1, 0]) + struct.pack("<hhh", 0, 0, 1)
    out += pascal("Corvane Technologies") + pascal("Gladewick") + fourcc("qvtz")
    out += struct.pack("<hhh", 1, 1, 1)
    out += pascal("Gladewick Pro") + pascal("Gladewick plugin") + fourcc("qvtz") + fourcc("qvtz")
    out += fourcc("null") + pascal("") + struct.pack("<H", 0)
    out += fourcc("#ImR") + pascal("") + struct.pack("<H", 0xB000)
    out += struct.pack("<h", 3)
    out += param("Amnt", "Amnt", "long", "Illumination amount")
    out += param("FM", "Md  ", "bool", "FastMode")
    out += param("Fl", "Fl  ", "long", "Fill Light")
    out += struct.pack("<hhh", 0, 0, 0)
    return out


class PeFile:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, nsections = struct.unpack_from("<HH", self.data, pe + 4)
        opt_size = struct.unpack_from("<H", self.data, pe + 20)[0]
        opt = pe + 24
        magic = struct.unpack_from("<H", self.data, opt)[0]
        dirs = opt + (96 if magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", self.data, dirs + 8 * i) for i in range(16)]
        self.sections = []
        sec = opt + opt_size
        for i in range(nsections):
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", self.data, sec + 40 * i + 8)
            self.sections.append((va, max(vsize, rawsize), rawptr))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("RVA %#x outside every section" % rva)

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("ascii")

    def resource(self, type_name, ident, language):
        base_rva = self.directories[2][0]
        base = self.offset(base_rva)

        def entries(dir_off):
            named, ids = struct.unpack_from("<HH", self.data, dir_off + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, dir_off + 16 + 8 * i)
                if name & 0x80000000:
                    n_off = base + (name & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", self.data, n_off)[0]
                    name = self.data[n_off + 2:n_off + 2 + 2 * length].decode("utf-16-le")
                yield name, target

        def find(dir_off, key):
            for name, target in entries(dir_off):
                if name == key:
                    return target
            raise KeyError(key)

        t = find(base, type_name)
        n = find(base + (t & 0x7FFFFFFF), ident)
        leaf = find(base + (n & 0x7FFFFFFF), language)
        rva, size = struct.unpack_from("<II", self.data, base + leaf)
        off = self.offset(rva)
        return self.data[off:off + size]

    def exports(self):
        rva = self.directories[0][0]
        off = self.offset(rva)
        count, names_rva = struct.unpack_from("<I", self.data, off + 24)[0], \
            struct.unpack_from("<I", self.data, off + 32)[0]
        names_off = self.offset(names_rva)
        return sorted(self.cstring(struct.unpack_from("<I", self.data, names_off + 4 * i)[0])
                      for i in range(count))

    def imports(self):
        rva = self.directories[1][0]
        off = self.offset(rva)
        names = []
        while True:
            name_rva = struct.unpack_from("<I", self.data, off + 12)[0]
            if name_rva == 0:
                return names
            names.append(self.cstring(name_rva))
            off += 20


def hexdiff(label, got, want):
    for i in range(max(len(got), len(want))):
        if got[i:i + 1] != want[i:i + 1]:
            return "%s differs at byte %d: got %r, expected %r (lengths %d / %d)" % (
                label, i, got[i:i + 16], want[i:i + 16], len(got), len(want))
    return None


def main():
    path, arch = sys.argv[1], sys.argv[2]
    pe = PeFile(path)
    errors = []
    want_machine = 0x14C if arch == "x86" else 0x8664
    if pe.machine != want_machine:
        errors.append("machine %#x, expected %#x" % (pe.machine, want_machine))

    for type_name, want in (("PIPL", expected_pipl(arch)), ("AETE", expected_aete())):
        try:
            got = pe.resource(type_name, 16000, 1033)
        except KeyError as missing:
            errors.append("%s 16000 (language 1033) missing: %s" % (type_name, missing))
            continue
        problem = hexdiff(type_name, got, want)
        if problem:
            errors.append(problem)

    if arch == "x86":
        want_exports = ["PluginMain", "_GWPluginAboutProc@16", "_GWPluginUIProc@16"]
    else:
        want_exports = ["GWPluginAboutProc", "GWPluginUIProc", "PluginMain"]
    exports = pe.exports()
    if exports != sorted(want_exports):
        errors.append("exports %s, expected %s" % (exports, sorted(want_exports)))

    for dll in pe.imports():
        if dll.lower() not in SYSTEM_DLLS:
            errors.append("imports a non-system DLL: %s" % dll)

    for e in errors:
        print("FAIL:", e)
    if errors:
        return 1
    print("ok: %s (%s): PIPL, AETE, exports %s, imports %s" % (path, arch, exports, pe.imports()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
