#!/usr/bin/env python3
"""Writes the reader fuzzer's hand-made seed files into fuzz/corpus/.

Each seed is a small book file, well-formed or damaged on purpose, that starts the fuzzer near
one of the reader's branches: the length forms of both string encodings, hostile lengths,
truncation and the record counts that no book holds (from 80000001 on, or 0 with more bytes
after it), which are refused. Inputs the fuzzer itself found are kept next to them under names
starting with "found-".
"""

import os
import struct
import sys

MARKER = b"\xff\xfe\xff"


def u16_len(n):
    # The length prefix shared by both encodings: byte, FF+u16, FF FFFF+u32, FF FFFF FFFFFFFF+u64.
    if n < 0xFF:
        return bytes([n])
    if n < 0xFFFE:
        return b"\xff" + struct.pack("<H", n)
    if n < 0xFFFFFFFF:
        return b"\xff\xff\xff" + struct.pack("<I", n)
    return b"\xff\xff\xff\xff\xff\xff\xff" + struct.pack("<Q", n)


def wide(text):
    data = text.encode("utf-16-le")
    return MARKER + u16_len(len(data) // 2) + data


def narrow(data):
    return u16_len(len(data)) + data


EMPTY = wide("")


def date(value, status=0):
    return struct.pack("<Id", status, value)


def record(day, strings):
    # 33 strings: heading, heading detail, 10 x (time, plan, detail), memo.
    assert len(strings) == 33
    return date(day) + b"".join(strings)


def strings_with(heading=EMPTY, heading_detail=EMPTY, rows=(), memo=EMPTY):
    out = [heading, heading_detail]
    rows = list(rows) + [(EMPTY, EMPTY, EMPTY)] * (10 - len(rows))
    for time, plan, detail in rows:
        out += [time, plan, detail]
    out.append(memo)
    return out


def book(*records, count=None):
    return struct.pack("<I", len(records) if count is None else count) + b"".join(records)


def seeds():
    s = {}
    example = book(record(40001.0, strings_with(rows=[(wide("08"), wide("会議"), EMPTY)])))
    assert len(example) == 156
    s["worked-example.dat"] = example
    s["empty-book.dat"] = b"\x00\x00\x00\x00"
    s["zero-bytes.dat"] = b""

    # 8-bit code page 932 strings, no marker, with a lone lead byte at the end of the memo.
    s["narrow-strings.dat"] = book(
        record(
            40002.0,
            strings_with(
                heading=narrow("七夕".encode("cp932")),
                rows=[(narrow(b"09"), narrow("打ち合わせ（第2会議室）".encode("cp932")),
                       narrow(b"\xb1\xb2\xb3"))],
                memo=narrow("買い物\r\n牛乳".encode("cp932") + b"\x81"),
            ),
        )
    )

    # Every length form of both encodings with lengths that fit.
    s["wide-len-255.dat"] = book(record(40003.0, strings_with(memo=wide("あ" * 255))))
    s["wide-len-u16.dat"] = book(record(40004.0, strings_with(memo=wide("メモ" * 700))))
    s["wide-len-u32-small.dat"] = book(
        record(40005.0, strings_with(heading=MARKER + b"\xff\xff\xff" + struct.pack("<I", 2)
                                     + "祝日".encode("utf-16-le"))))
    s["wide-len-u64-small.dat"] = book(
        record(40006.0, strings_with(heading=MARKER + b"\xff\xff\xff\xff\xff\xff\xff"
                                     + struct.pack("<Q", 1) + "祝".encode("utf-16-le"))))
    s["narrow-len-u16.dat"] = book(record(40007.0, strings_with(memo=narrow(b"x" * 300))))
    s["narrow-len-u32-small.dat"] = book(
        record(40008.0, strings_with(memo=b"\xff\xff\xff" + struct.pack("<I", 3) + b"abc")))
    s["narrow-len-u64-small.dat"] = book(
        record(40009.0, strings_with(memo=b"\xff" * 7 + struct.pack("<Q", 2) + b"ok")))

    # Hostile lengths: past the end, at 2^31 and beyond.
    s["wide-len-past-end.dat"] = book(
        record(40010.0, strings_with(heading=MARKER + b"\xff\xff\xff" + struct.pack("<I", 0x7FFFFFFF))))
    s["wide-len-2g.dat"] = book(
        record(40011.0, strings_with(heading=MARKER + b"\xff\xff\xff" + struct.pack("<I", 0x80000000))))
    s["wide-len-u64-huge.dat"] = book(
        record(40012.0, strings_with(heading=MARKER + b"\xff" * 7 + b"\xff" * 8)))
    s["narrow-len-u64-2g.dat"] = book(
        record(40013.0, strings_with(heading=b"\xff" * 7 + struct.pack("<Q", 1 << 63))))

    # Damage in the record structure.
    s["truncated-record.dat"] = example[:100]
    s["two-records-second-cut.dat"] = book(
        record(40001.0, strings_with(heading=wide("七夕"))),
        record(40002.0, strings_with(memo=wide("歯医者 15:30"))),
    )[:-3]
    s["count-80000001.dat"] = book(record(40001.0, strings_with()), count=0x80000001)
    s["count-0-then-bytes.dat"] = book(record(40001.0, strings_with()), count=0)
    s["count-7fffffff.dat"] = book(record(40001.0, strings_with()), count=0x7FFFFFFF)
    s["odd-dates.dat"] = book(
        record(float("nan"), strings_with(heading=wide("x"))),
        struct.pack("<Id", 1, -1.25) + b"".join(strings_with()),
        struct.pack("<Id", 2, 1e300) + b"".join(strings_with()),
        struct.pack("<Id", 7, 40001.5) + b"".join(strings_with()),
    )
    return s


def main():
    corpus = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    os.makedirs(corpus, exist_ok=True)
    for name, data in seeds().items():
        assert len(data) < 64 * 1024, name
        with open(os.path.join(corpus, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
