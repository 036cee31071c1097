#!/usr/bin/python3
"""Gain of a designed filter configuration file over plain averaging, on
images that never trained it (bench/grey_images.py makes them).

Each image is coded at q 20 with built-in filter 0 and decoded under loss
patterns 1 to 9, with border blocks lost (-b 1) and spared (-b 0), once with
the designed file and once with filter 0 (averaging); the table shows PSNR
(designed) - PSNR (0) against the original, in dB. The optional loss
post-filters are measured the same way, on files that tarnfilter fits with
-s 8 and -s 16 from the same training images. A decode without loss through
the designed file is compared with filter 0's, pixel by pixel.

Usage: bench/filter_gain.py [--build DIR] [--filters FILE] [--work DIR]"""
import argparse
import math
import os
import subprocess
import sys
import tempfile

import grey_images

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TRAINING = [os.path.join(ROOT, "images", n) for n in ("camera.pgm", "brick.pgm")]
PATTERNS = range(1, 10)
Q = "20"


def run(args, cwd):
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL)


def read_pgm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:  # magic, width, height, maxval: the plain header the programs write
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    return data[pos + 1:]


def psnr(a, b):
    se = sum((x - y) * (x - y) for x, y in zip(a, b))
    return 10 * math.log10(255.0 * 255.0 * len(a) / se) if se else float("inf")


class Coder:
    def __init__(self, build, work):
        self.pack = os.path.join(build, "tarnpack")
        self.unpack = os.path.join(build, "tarnunpack")
        self.work = work

    def encode(self, image):
        stream = os.path.join(self.work, os.path.basename(image) + ".out")
        run([self.pack, image, stream, "0", Q], self.work)
        return stream

    def decode(self, stream, filters, pattern, border, extra=()):
        out = os.path.join(self.work, "decoded.pgm")
        run([self.unpack, stream, out, filters, "-l", str(pattern), "-b", str(border)] + list(extra), self.work)
        return read_pgm(out)


def gains(coder, images, filters, extra=()):
    """{(image, border): [gain for each pattern]} of filters over filter 0."""
    table = {}
    for image in images:
        original = read_pgm(image)
        stream = coder.encode(image)
        for border in (0, 1):
            row = []
            for pattern in PATTERNS:
                designed = psnr(original, coder.decode(stream, filters, pattern, border, extra))
                averaged = psnr(original, coder.decode(stream, "0", pattern, border))
                row.append(designed - averaged)
            table[(image, border)] = row
    return table


def mean(values):
    return sum(values) / len(values)


def print_table(table, images):
    names = [os.path.splitext(os.path.basename(i))[0] for i in images]
    for border in (0, 1):
        print(f"\n-b {border}: PSNR gain in dB (designed - averaging), q {Q}\n")
        print("| image | " + " | ".join(f"-l {p}" for p in PATTERNS) + " | mean |")
        print("|---|" + "---|" * (len(PATTERNS) + 1))
        for image, name in zip(images, names):
            row = table[(image, border)]
            print(f"| {name} | " + " | ".join(f"{g:+.2f}" for g in row) + f" | {mean(row):+.2f} |")
        columns = [mean([table[(i, border)][k] for i in images]) for k in range(len(PATTERNS))]
        print("| mean | " + " | ".join(f"{g:+.2f}" for g in columns) + f" | {mean(columns):+.2f} |")
    print("\nMean of each image over both -b and all patterns:")
    for image, name in zip(images, names):
        print(f"  {name}: {mean(table[(image, 0)] + table[(image, 1)]):+.3f} dB")


def overall(table):
    return mean([g for row in table.values() for g in row])


def no_loss_difference(coder, images, filters):
    differing = largest = total = 0
    for image in images:
        stream = coder.encode(image)
        a = coder.decode(stream, filters, 0, 1)
        b = coder.decode(stream, "0", 0, 1)
        total += len(a)
        differing += sum(x != y for x, y in zip(a, b))
        largest = max([largest] + [abs(x - y) for x, y in zip(a, b)])
    return differing, total, largest


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--filters", default=os.path.join(ROOT, "filters", "designed.dat"))
    parser.add_argument("--work", default=None)
    args = parser.parse_args()
    build, filters = os.path.abspath(args.build), os.path.abspath(args.filters)
    with tempfile.TemporaryDirectory() as scratch:
        work = os.path.abspath(args.work or scratch)
        images = grey_images.make_images(os.path.join(work, "images"))
        coder = Coder(build, work)
        table = gains(coder, images, filters)
        print_table(table, images)
        print(f"\nMean over images, patterns and -b: {overall(table):+.3f} dB")
        differing, total, largest = no_loss_difference(coder, images, filters)
        print(f"Without loss: {differing} of {total} pixels differ from filter 0, by at most {largest}.")
        print("\nOptional loss post-filters (mean gain over averaging, all images, patterns and -b):")
        print(f"  predictors alone: {overall(table):+.3f} dB")
        for size, extra in (("8", ()), ("8", ("-x", "1")), ("16", ())):
            designed = os.path.join(work, f"designed_s{size}.dat")
            run([os.path.join(build, "tarnfilter"), designed] + TRAINING + ["-s", size], work)
            label = f"-s {size}" + (" with -x 1" if extra else "")
            print(f"  {label}: {overall(gains(coder, images, designed, extra)):+.3f} dB")


if __name__ == "__main__":
    sys.exit(main())
