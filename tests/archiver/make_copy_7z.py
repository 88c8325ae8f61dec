#!/usr/bin/env python3
"""Writes small hand-made 7z archives that 7-Zip itself would refuse to make:
entries named ..\\evil.txt or C:\\evil.txt, chosen attributes, and headers that
announce absurd sizes. Everything is stored with the Copy coder under a plain
header, so the bytes on disk are easy to reason about.

usage: make_copy_7z.py OUT.7z [--attributes N] NAME=CONTENT ...
       make_copy_7z.py OUT.7z --huge-header
       make_copy_7z.py OUT.7z --huge-file-count
       make_copy_7z.py OUT.7z --huge-dictionary
"""
import struct
import sys
import zlib


def number(value):
    """The format's variable-length number."""
    for extra in range(9):
        if extra == 8 or value < (1 << (7 * (extra + 1))):
            break
    if extra == 0:
        return bytes([value])
    if extra == 8:
        return b"\xff" + struct.pack("<Q", value)
    high = value >> (8 * extra)
    first = (0xFF << (8 - extra)) & 0xFF | high
    return bytes([first]) + (value & ((1 << (8 * extra)) - 1)).to_bytes(extra, "little")


def signature(header, header_offset):
    start = struct.pack("<QQI", header_offset, len(header), zlib.crc32(header))
    return b"7z\xbc\xaf\x27\x1c\x00\x04" + struct.pack("<I", zlib.crc32(start)) + start


def archive(entries, attributes=None):
    data = b"".join(content for _, content in entries)
    h = bytearray(b"\x01\x04")  # kHeader, kMainStreamsInfo
    h += b"\x06" + number(0) + number(1) + b"\x09" + number(len(data)) + b"\x00"  # PackInfo
    h += b"\x07\x0b" + number(1) + b"\x00" + b"\x01" + b"\x01\x00"  # one folder, one Copy coder
    h += b"\x0c" + number(len(data)) + b"\x00"
    h += b"\x08\x0d" + number(len(entries))
    if len(entries) > 1:
        h += b"\x09" + b"".join(number(len(c)) for _, c in entries[:-1])
    h += b"\x0a\x01" + b"".join(struct.pack("<I", zlib.crc32(c)) for _, c in entries) + b"\x00"
    h += b"\x00"  # end of streams info
    h += b"\x05" + number(len(entries))
    names = b"\x00" + b"".join(name.encode("utf-16-le") + b"\x00\x00" for name, _ in entries)
    h += b"\x11" + number(len(names)) + names
    if attributes is not None:
        attrs = b"\x01\x00" + struct.pack("<I", attributes) * len(entries)
        h += b"\x15" + number(len(attrs)) + attrs
    h += b"\x00\x00"  # end of files info, end of header
    return signature(bytes(h), len(data)) + data + bytes(h)


def huge_dictionary():
    """One LZMA-coded file announcing a terabyte of output and a 4 GB dictionary."""
    packed = b"\x00" * 16
    h = bytearray(b"\x01\x04")
    h += b"\x06" + number(0) + number(1) + b"\x09" + number(len(packed)) + b"\x00"
    h += b"\x07\x0b" + number(1) + b"\x00"
    h += b"\x01" + b"\x23\x03\x01\x01" + number(5) + b"\x5d" + struct.pack("<I", 0xFFFFFFFF)
    h += b"\x0c" + number(1 << 40) + b"\x00\x00"
    names = b"\x00" + "big.bin".encode("utf-16-le") + b"\x00\x00"
    h += b"\x05" + number(1) + b"\x11" + number(len(names)) + names + b"\x00\x00"
    return signature(bytes(h), len(packed)) + packed + bytes(h)


def main(argv):
    out = argv[1]
    rest = argv[2:]
    if rest == ["--huge-header"]:
        start = struct.pack("<QQI", 0, 1 << 40, 0)
        blob = b"7z\xbc\xaf\x27\x1c\x00\x04" + struct.pack("<I", zlib.crc32(start)) + start
    elif rest == ["--huge-dictionary"]:
        blob = huge_dictionary()
    elif rest == ["--huge-file-count"]:
        h = b"\x01\x05" + number(1 << 30) + b"\x00\x00"
        blob = signature(h, 0) + h
    else:
        attributes = None
        if rest[:1] == ["--attributes"]:
            attributes = int(rest[1], 0)
            rest = rest[2:]
        entries = []
        for item in rest:
            name, _, content = item.partition("=")
            entries.append((name, content.encode()))
        blob = archive(entries, attributes)
    with open(out, "wb") as f:
        f.write(blob)


if __name__ == "__main__":
    main(sys.argv)
