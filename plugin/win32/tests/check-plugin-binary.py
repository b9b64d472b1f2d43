#!/usr/bin/env python3
"""Checks a built Corvil.dll from the file alone (so the i686 build, which
cannot run here, is checked as fully as the x86_64 one): its exports by name
and ordinal under the library name "Corvil.dll", its binding of FMLOG.dll's
`_log`, and its resources (dialog templates with their styles, fonts,
controls, positions and texts; the version string; the version information).
The expected values are written out here, not taken from the resource
script, so that a wrong number there fails.

    check-plugin-binary.py Corvil.dll
    check-plugin-binary.py FMLOG.dll     (the stand-in: `_log` by exactly that name, nothing else)
"""
import struct
import sys

# Window and control styles, as the Windows headers define them.
WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CLIPSIBLINGS, WS_CAPTION, WS_BORDER = 0x04000000, 0x00C00000, 0x00800000
WS_VSCROLL, WS_SYSMENU, WS_THICKFRAME = 0x00200000, 0x00080000, 0x00040000
WS_GROUP, WS_TABSTOP, WS_MAXIMIZEBOX = 0x00020000, 0x00010000, 0x00010000
DS_SETFONT, DS_MODALFRAME = 0x40, 0x80
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_AUTORADIOBUTTON = 0x0, 0x1, 0x9
SS_LEFT, SS_CENTER, SS_LEFTNOWORDWRAP = 0x0, 0x1, 0xC
CBS_DROPDOWN, CBS_SORT = 0x2, 0x100
ES_AUTOHSCROLL = 0x80
BUTTON, EDIT, STATIC, COMBOBOX = 0x80, 0x81, 0x82, 0x85

failures = []


def check(what, actual, expected):
    if actual != expected:
        failures.append(f"{what}: {actual!r}, expected {expected!r}")


class PE:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
        self.machine, nsections, _, _, _, optsize, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from("<H", data, opt)[0]
        dirs = opt + (112 if magic == 0x20B else 96)
        self.dirs = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(16)]
        self.sections = []
        sec = opt + optsize
        for i in range(nsections):
            _, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", data, sec + 40 * i)
            self.sections.append((va, max(vsize, rawsize), rawptr))

    def off(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"RVA {rva:#x} outside the sections")

    def cstr(self, rva):
        o = self.off(rva)
        return self.data[o:self.data.index(b"\0", o)].decode("latin-1")


def exports(pe):
    rva, _ = pe.dirs[0]
    (_, _, _, _, name, base, nfuncs, nnames, funcs, names, ordinals) = struct.unpack_from("<IIHHIIIIIII", pe.data, pe.off(rva))
    table = {}
    for i in range(nnames):
        n = pe.cstr(struct.unpack_from("<I", pe.data, pe.off(names) + 4 * i)[0])
        table[n] = base + struct.unpack_from("<H", pe.data, pe.off(ordinals) + 2 * i)[0]
    return pe.cstr(name), nfuncs, table


def imports(pe, wide):
    rva, _ = pe.dirs[1]
    result = {}
    o = pe.off(rva)
    while True:
        lookup, _, _, name, thunks = struct.unpack_from("<IIIII", pe.data, o)
        if name == 0:
            break
        entries, t = [], pe.off(lookup or thunks)
        while True:
            value = struct.unpack_from("<Q" if wide else "<I", pe.data, t)[0]
            if value == 0:
                break
            byOrdinal = value >> (63 if wide else 31)
            entries.append(f"#{value & 0xFFFF}" if byOrdinal else pe.cstr((value & 0x7FFFFFFF) + 2))
            t += 8 if wide else 4
        result[pe.cstr(name)] = entries
        o += 20
    return result


def resources(pe):
    """{(type, id-or-name): bytes} for the first language of each."""
    base_rva, _ = pe.dirs[2]
    base = pe.off(base_rva)

    def entries(o):
        _, _, _, _, named, ided = struct.unpack_from("<IIHHHH", pe.data, o)
        for i in range(named + ided):
            key, value = struct.unpack_from("<II", pe.data, o + 16 + 8 * i)
            if key & 0x80000000:
                s = base + (key & 0x7FFFFFFF)
                length = struct.unpack_from("<H", pe.data, s)[0]
                key = pe.data[s + 2:s + 2 + 2 * length].decode("utf-16-le")
            yield key, value

    out = {}
    for rtype, tdir in entries(base):
        for rid, ldir in entries(base + (tdir & 0x7FFFFFFF)):
            _, leaf = next(entries(base + (ldir & 0x7FFFFFFF)))
            drva, size = struct.unpack_from("<II", pe.data, base + leaf)[:2]
            out[(rtype, rid)] = pe.data[pe.off(drva):pe.off(drva) + size]
    return out


def sz_or_ord(data, o):
    if struct.unpack_from("<H", data, o)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, o + 2)[0], o + 4
    end = o
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[o:end].decode("utf-16-le"), end + 2


def dialog(data):
    style, _, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
    menu, o = sz_or_ord(data, 18)
    cls, o = sz_or_ord(data, o)
    title, o = sz_or_ord(data, o)
    font = None
    if style & DS_SETFONT:
        size = struct.unpack_from("<H", data, o)[0]
        face, o = sz_or_ord(data, o + 2)
        font = (face, size)
    items = []
    for _ in range(count):
        o = (o + 3) & ~3
        istyle, _, ix, iy, icx, icy, iid = struct.unpack_from("<IIhhhhH", data, o)
        icls, o = sz_or_ord(data, o + 18)
        text, o = sz_or_ord(data, o)
        extra = struct.unpack_from("<H", data, o)[0]
        o += 2 + extra
        items.append((icls, iid if iid != 0xFFFF else -1, istyle, (ix, iy, icx, icy), text))
    return style, (x, y, cx, cy), title, font, items


def check_dialog(name, data, style, size, title, items):
    got_style, got_rect, got_title, font, got_items = dialog(data)
    # Exactly the styles the design names, with the font the template carries.
    check(f"{name} style", hex(got_style), hex(style | DS_SETFONT))
    check(f"{name} size", got_rect[2:], size)
    if title is not None:
        check(f"{name} title", got_title, title)
    check(f"{name} font", font, ("MS Sans Serif", 8))
    check(f"{name} control count", len(got_items), len(items))
    for n, (want, got) in enumerate(zip(items, got_items)):
        wcls, wid, wstyle, wrect, wtext = want
        gcls, gid, gstyle, grect, gtext = got
        label = f"{name} control {n} (id {wid})"
        check(f"{label} kind", gcls, wcls)
        check(f"{label} id", gid, wid)
        # Exactly: a stray group or tab stop changes how the keyboard moves.
        check(f"{label} style", hex(gstyle), hex(wstyle))
        check(f"{label} position", grect, wrect)
        if wtext is not None:
            check(f"{label} text", gtext, wtext)


def unit_window_controls():
    child = WS_CHILD | WS_VISIBLE
    text = child | WS_GROUP  # a static text closes the group before it
    items = [(STATIC, -1, text | SS_LEFT, (31, 5, 18, 8), "None")]
    items += [(STATIC, -1, text | SS_LEFT, (54 + 12 * (k - 1), 5, 8, 8), str(k)) for k in range(1, 9)]
    for label, base, y, lst, ly in [("Output 1:", 1311, 16, 1331, 13), ("Output 2:", 1321, 30, 1332, 27)]:
        items.append((STATIC, -1, text | SS_LEFT, (3, y, 30, 8), label))
        items.append((BUTTON, base, child | BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, (36, y, 12, 8), ""))
        items += [(BUTTON, base + k, child | BS_AUTORADIOBUTTON, (51 + 12 * (k - 1), y, 12, 8), "") for k in range(1, 9)]
        items.append((COMBOBOX, lst, child | CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, (148, ly, 40, 80), None))
    return items


def version_strings(data):
    """The StringFileInfo pairs, the translation, and the fixed part."""
    fixed = data.index(struct.pack("<I", 0xFEEF04BD))
    (_, _, fms, fls, pms, pls, _, _, fos, ftype, _) = struct.unpack_from("<IIIIIIIIIII", data, fixed)
    text = data.decode("utf-16-le", errors="replace")
    pairs = {}
    for key in ("CompanyName", "FileDescription", "FileVersion", "InternalName", "OriginalFilename",
                "ProductName", "ProductVersion"):
        at = text.find(key + "\0")
        if at >= 0:
            rest = text[at + len(key) + 1:].lstrip("\0")
            pairs[key] = rest[:rest.index("\0")]
    trans = data.index("Translation".encode("utf-16-le"))
    lang, codepage = struct.unpack_from("<HH", data, (trans + 24 + 3) & ~3)
    return (fms >> 16, fms & 0xFFFF, fls >> 16, fls & 0xFFFF), (pms, pls), fos, ftype, pairs, (lang, codepage)


def main(path):
    data = open(path, "rb").read()
    pe = PE(data)
    wide = pe.machine == 0x8664
    if path.lower().endswith("fmlog.dll"):
        name, nfuncs, table = exports(pe)
        check("library name", name, "FMLOG.dll")
        check("exports", table, {"_log": 1})
        return report(path)

    name, nfuncs, table = exports(pe)
    check("library name", name, "Corvil.dll")
    check("exports", table, {"DllCanUnloadNow": 1, "DllGetClassObject": 2, "DllRegisterServer": 3,
                             "DllUnregisterServer": 4})
    check("export count", nfuncs, 4)

    imp = {k.lower(): (k, v) for k, v in imports(pe, wide).items()}
    check("FMLOG import", imp.get("fmlog.dll"), ("FMLOG.dll", ["_log"]))

    res = resources(pe)
    child = WS_CHILD | WS_VISIBLE
    text = child | WS_GROUP
    check_dialog("template 353", res[(5, 353)], WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX,
                 (190, 44), "", unit_window_controls())
    modal = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
    check_dialog("template 354", res[(5, 354)], modal, (175, 71), "Corvil Configuration", [
        (BUTTON, 1, child | BS_DEFPUSHBUTTON | WS_TABSTOP, (31, 46, 50, 14), "OK"),
        (BUTTON, 2, child | BS_PUSHBUTTON | WS_TABSTOP, (93, 46, 50, 14), "Cancel"),
        (COMBOBOX, 1372, child | CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP, (77, 28, 85, 93), None),
        (EDIT, 1373, child | WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, (52, 10, 110, 12), ""),
        (STATIC, -1, text | SS_LEFT, (12, 11, 36, 8), "Unit Name:"),
        (STATIC, -1, text | SS_LEFTNOWORDWRAP, (12, 29, 62, 8), "Unit Serial Number:"),
    ])
    check_dialog("template 355", res[(5, 355)], modal, (189, 55), None, [
        (BUTTON, 1, child | BS_DEFPUSHBUTTON | WS_TABSTOP, (70, 34, 50, 14), "OK"),
        (STATIC, 1000, text | SS_CENTER, (8, 8, 174, 8), "DLL Version 3.0.5"),
        (STATIC, 1001, text | SS_CENTER, (8, 18, 174, 8), "Tolvane Corvil Version 5.55"),
    ])
    for name, items in (("EQFILESTATUS", [(STATIC, 1061, text | SS_CENTER, (8, 11, 259, 8), None)]),
                        ("SAVEWITHCOMMENT", [(STATIC, -1, text | SS_LEFT, (10, 9, 32, 8), "Comment:"),
                                             (EDIT, 1062, child | WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP,
                                              (47, 7, 221, 14), "")])):
        check_dialog(name, res[(5, name)], WS_CHILD | WS_CLIPSIBLINGS, (276, 28), None, items)

    # String 2 is the third of the first block of sixteen.
    block, o, strings = res[(6, 1)], 0, []
    for _ in range(16):
        length = struct.unpack_from("<H", block, o)[0]
        strings.append(block[o + 2:o + 2 + 2 * length].decode("utf-16-le"))
        o += 2 + 2 * length
    check("string 2", strings[2], "5.0.3")

    fixed, product, fos, ftype, pairs, translation = version_strings(res[(16, 1)])
    check("file version", fixed, (5, 0, 3, 0))
    check("product version", product, ((5 << 16) | 0, (3 << 16) | 0))
    check("file type", ftype, 2)            # a DLL
    check("file system", fos & 0xFFFF, 4)   # 32-bit Windows
    for key, value in {"FileVersion": "5.0.3", "ProductVersion": "5.0.3", "FileDescription": "Corvil DLL",
                       "InternalName": "Corvil", "OriginalFilename": "Corvil.DLL",
                       "ProductName": "Orlo FathomLive"}.items():
        check(key, pairs.get(key), value)
    check("translation", translation, (0x0409, 0x04B0))

    return report(path)


def report(path):
    if failures:
        for f in failures:
            print(f"check-plugin-binary: {path}: {f}", file=sys.stderr)
        return 1
    print(f"check-plugin-binary: {path}: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
