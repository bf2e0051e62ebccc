#!/usr/bin/env python3
"""Generates platform/core/CodePage932Table.inc, the code page 932 decoding table.

The mappings come from glibc's iconv "CP932", which agrees with Microsoft's table for 932 on
every code it assigns, with five single bytes added that glibc rejects but Windows maps
(0x80, 0xA0, 0xFD-0xFF). Python's own cp932 codec is consulted as a second opinion; any
disagreement besides those five bytes stops the run.

Usage: scripts/gen-cp932-table.py [output path]
"""

import ctypes
import ctypes.util
import pathlib
import sys

LEADS = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
TRAILS = list(range(0x40, 0x7F)) + list(range(0x80, 0xFD))
DEFAULT_CHAR = 0x30FB  # KATAKANA MIDDLE DOT, Windows' default character for 932

# Single bytes glibc rejects and Windows maps.
SINGLE_CORRECTIONS = {0x80: 0x0080, 0xA0: 0xF8F0, 0xFD: 0xF8F1, 0xFE: 0xF8F2, 0xFF: 0xF8F3}

# Double-byte codes Windows assigns: JIS X 0208 (6879), NEC row 13 (83), NEC-selected IBM
# extensions (374), IBM extensions (388) and the user-defined area F040-F9FC (1880).
EXPECTED_DOUBLE_COUNT = 6879 + 83 + 374 + 388 + 1880


class Iconv:
    def __init__(self):
        libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self._open = libc.iconv_open
        self._open.restype = ctypes.c_void_p
        self._open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
        self._iconv = libc.iconv
        self._iconv.restype = ctypes.c_size_t
        self._iconv.argtypes = [ctypes.c_void_p] + [ctypes.c_void_p] * 4
        self._cd = self._open(b"UTF-32LE", b"CP932")
        if self._cd in (None, ctypes.c_void_p(-1).value):
            sys.exit("iconv_open(UTF-32LE, CP932) failed")

    def decode(self, data):
        """Returns the code points of data, or None if iconv rejects any of it."""
        self._iconv(self._cd, None, None, None, None)
        inbuf = ctypes.create_string_buffer(data, len(data))
        outbuf = ctypes.create_string_buffer(64)
        inptr = ctypes.c_char_p(ctypes.addressof(inbuf))
        outptr = ctypes.c_char_p(ctypes.addressof(outbuf))
        inleft = ctypes.c_size_t(len(data))
        outleft = ctypes.c_size_t(64)
        result = self._iconv(self._cd, ctypes.byref(inptr), ctypes.byref(inleft),
                             ctypes.byref(outptr), ctypes.byref(outleft))
        if result == ctypes.c_size_t(-1).value or inleft.value != 0:
            return None
        raw = outbuf.raw[: 64 - outleft.value]
        return [int.from_bytes(raw[i:i + 4], "little") for i in range(0, len(raw), 4)]


def python_cp932(data):
    try:
        return [ord(c) for c in data.decode("cp932")]
    except UnicodeDecodeError:
        return None


def build():
    iconv = Iconv()
    problems = []

    single = []
    for b in range(256):
        got = iconv.decode(bytes([b]))
        if b in LEADS:
            if got is not None:
                problems.append(f"lead byte {b:02X} decodes alone to {got}")
            single.append(DEFAULT_CHAR)
            continue
        if got is None:
            if b not in SINGLE_CORRECTIONS:
                problems.append(f"single byte {b:02X} unmapped and has no correction")
                got = [DEFAULT_CHAR]
            else:
                got = [SINGLE_CORRECTIONS[b]]
        elif b in SINGLE_CORRECTIONS:
            problems.append(f"single byte {b:02X} now maps to {got}; revisit the corrections")
        if len(got) != 1 or got[0] > 0xFFFF:
            problems.append(f"single byte {b:02X} maps to {got}")
        if python_cp932(bytes([b])) != got:
            problems.append(f"single byte {b:02X}: iconv {got}, python {python_cp932(bytes([b]))}")
        single.append(got[0])

    double = []
    mapped = 0
    for lead in LEADS:
        row = []
        for trail in TRAILS:
            data = bytes([lead, trail])
            got = iconv.decode(data)
            if got != python_cp932(data):
                problems.append(f"{lead:02X}{trail:02X}: iconv {got}, python {python_cp932(data)}")
            if got is None:
                row.append(DEFAULT_CHAR)
                continue
            if len(got) != 1 or got[0] > 0xFFFF:
                problems.append(f"{lead:02X}{trail:02X} maps to {got}")
            # The user-defined area runs in order through the private use area.
            if 0xF0 <= lead <= 0xF9:
                expected = 0xE000 + (lead - 0xF0) * len(TRAILS) + TRAILS.index(trail)
                if got[0] != expected:
                    problems.append(f"{lead:02X}{trail:02X} maps to {got[0]:04X}, not {expected:04X}")
            mapped += 1
            row.append(got[0])
        double.append(row)
    if mapped != EXPECTED_DOUBLE_COUNT:
        problems.append(f"{mapped} double-byte codes mapped, expected {EXPECTED_DOUBLE_COUNT}")

    if problems:
        sys.exit("\n".join(["gen-cp932-table: the source tables disagree:"] + problems))
    return single, double


def hex_values(values):
    return ", ".join(f"0x{v:04X}" for v in values)


def render(single, double):
    out = [
        "// Generated by scripts/gen-cp932-table.py from glibc iconv CP932 with Windows'",
        "// single-byte additions (0x80, 0xA0, 0xFD-0xFF). Do not edit; rerun the script.",
        "//",
        "// kCp932Single: every byte decoded on its own; lead bytes hold U+30FB.",
        "// kCp932Double: one row per lead byte (81-9F, E0-FC), one column per trail byte",
        "// (40-7E, 80-FC); codes without a mapping hold U+30FB.",
        "",
        "// clang-format off",
        "constexpr char16_t kCp932Single[256] = {",
    ]
    for base in range(0, 256, 16):
        out.append(f"    /* {base:02X} */ {hex_values(single[base:base + 16])},")
    out.append("};")
    out.append("")
    out.append(f"constexpr char16_t kCp932Double[{len(LEADS)}][{len(TRAILS)}] = {{")
    for lead, row in zip(LEADS, double):
        out.append(f"    {{ // {lead:02X}")
        # One line per high nibble of the trail byte, so 7E and 80 never share a line.
        for nibble in range(0x4, 0x10):
            columns = [i for i, trail in enumerate(TRAILS) if trail >> 4 == nibble]
            chunk = [row[i] for i in columns]
            first = TRAILS[columns[0]]
            out.append(f"        /* {lead:02X}{first:02X} */ {hex_values(chunk)},")
        out.append("    },")
    out.append("};")
    out.append("// clang-format on")
    return "\n".join(out) + "\n"


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    target = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else (
        root / "platform" / "core" / "CodePage932Table.inc")
    single, double = build()
    target.write_text(render(single, double), encoding="ascii")


if __name__ == "__main__":
    main()
