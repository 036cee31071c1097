#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets, one folder per target:
small valid streams of every mode (made by the built tarnpack), filter
files with every combination of sections, PGMs with comments, grey PNGs
of 8 and fewer bits and raw planes, each behind the option bytes its
target reads first.

Usage: make_corpus.py --tarnpack PATH --out DIR
"""
import argparse
import math
import os
import struct
import subprocess
import tempfile
import zlib


def pgm(width, height, comments=False):
    pixels = bytes((x * 7 + y * 3 + (40 if (x // 8 + y // 8) % 3 == 0 else 0)) % 256
                   for y in range(height) for x in range(width))
    if comments:
        header = b"# made for the fuzzers\nP5\n# size\n%d %d\n# maxval\n255\n" % (width, height)
    else:
        header = b"P5\n%d %d\n255\n" % (width, height)
    return header + pixels


def png(width, height, depth, interlaced=False):
    """A grey PNG of the given bit depth; every row (of each interlace pass)
    is a filter byte 0 and packed samples."""
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data +
                                struct.pack(">I", zlib.crc32(kind + data)))
    passes = [(0, 0, 1, 1)] if not interlaced else [
        (0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
    rows = b""
    for x0, y0, dx, dy in passes:
        row_bytes = (len(range(x0, width, dx)) * depth + 7) // 8
        for y in range(y0, height, dy) if row_bytes else ():
            rows += b"\0" + bytes((x * 37 + y * 11) % 256 for x in range(row_bytes))
    header = struct.pack(">IIBBBBB", width, height, depth, 0, 0, 0, 1 if interlaced else 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) +
            chunk(b"IEND", b""))


def filter_file(loss_size, dct_size, boundary):
    floats = lambda values: struct.pack("<%df" % len(values), *values)
    identity = [1.0 if i == j else 0.0 for i in range(8) for j in range(8)]
    data = struct.pack("<i", 8) + floats(identity) + floats(identity)
    data += struct.pack("<i", loss_size)
    if loss_size:
        data += floats([0.9 if i == j else 0.01 for i in range(loss_size) for j in range(loss_size)])
    data += struct.pack("<i", dct_size)
    if dct_size:
        data += floats([(1 - j / 8) if k == 7 else (j / 8 if k == 8 else 0.0)
                        for j in range(8) for k in range(16)])
    data += struct.pack("<i", boundary)
    if boundary:
        data += floats([1.0 if k == 7 else 0.0 for j in range(8) for k in range(8)])
    return data


def raw_plane(width, height):
    values = [math.sin(i * 0.37) * (200 if i % 64 == 0 else 20) for i in range(width * height)]
    return struct.pack("<ii", width, height) + struct.pack("<%df" % len(values), *values)


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def streams(tarnpack, work):
    """(mode bits of fuzz_decode, stream) of every coder, MDC and filter."""
    image = os.path.join(work, "in.pgm")
    with open(image, "wb") as f:
        f.write(pgm(64, 48))
    out = os.path.join(work, "z.out")
    for digit in (0, 1, 5, 3):
        for lceb in (0, 1):
            for mdc in (0, 1):
                for q in ("20", "4"):
                    subprocess.run([tarnpack, image, out, str(digit), q, "-f", "1" if not lceb else "0",
                                    "-m", str(mdc)], cwd=work, check=True, stdout=subprocess.DEVNULL)
                    with open(out, "rb") as f:
                        yield lceb | mdc << 1 | digit << 4, f.read()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tarnpack", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    tarnpack = os.path.abspath(args.tarnpack)
    filters = [filter_file(m, d, b) for m in (0, 8, 16) for d in (0, 8) for b in (0, 1)]
    with tempfile.TemporaryDirectory() as work:
        for i, (mode, stream) in enumerate(streams(tarnpack, work)):
            for loss in (0, 2, 5, 7, 9):
                write(os.path.join(args.out, "decode"), "s%03d-%d" % (i, loss), bytes([mode, loss, 3]) + stream)
            write(os.path.join(args.out, "decode"), "s%03d-c" % i, bytes([mode | 4, 0, 0]) + stream)
            f = filters[i % len(filters)]
            write(os.path.join(args.out, "decode"), "s%03d-f" % i,
                  bytes([mode & 3 | 8, i % 10, i % 8]) + struct.pack("<H", len(f)) + f + stream)
    for i, f in enumerate(filters):
        for settings in (0, 7, 8):
            write(os.path.join(args.out, "filters"), "f%02d-%d" % (i, settings), bytes([settings]) + f)
    for i, (width, height, comments) in enumerate([(16, 16, False), (32, 16, True), (48, 32, True)]):
        for mode in (0, 1, 2, 3, 0x10, 0x51):
            write(os.path.join(args.out, "encode"), "p%d-%02x" % (i, mode),
                  bytes([mode, 78]) + pgm(width, height, comments))
    for i, (width, height, depth, interlaced) in enumerate([(16, 16, 8, False), (32, 16, 4, False),
                                                            (32, 32, 1, True), (48, 16, 2, False)]):
        for mode in (0, 3, 0x51):
            write(os.path.join(args.out, "encode"), "g%d-%02x" % (i, mode),
                  bytes([mode, 78]) + png(width, height, depth, interlaced))
    for i, (width, height) in enumerate([(8, 8), (16, 16), (32, 16)]):
        for mode in (4, 5, 6, 7):
            write(os.path.join(args.out, "encode"), "r%d-%d" % (i, mode), bytes([mode, 20]) + raw_plane(width, height))
    for i, (w, h) in enumerate([(0, 0), (1, 0), (3, 3)]):
        for mode in (0, 1, 2, 3, 0x50):
            pixels = pgm(16 * (w + 1), 16 * (h + 1)).split(b"255\n", 1)[1]
            write(os.path.join(args.out, "roundtrip"), "t%d-%02x" % (i, mode), bytes([mode, w, h, 80]) + pixels)


if __name__ == "__main__":
    main()
