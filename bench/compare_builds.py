#!/usr/bin/env python3
"""Compares two builds of tarnpack/tarnunpack byte for byte: every stream,
image, raw plane and dump file, the console text and the exit status, over
the shipped images and synthetic ones of several sizes and contents, in
every mode (both coders, MDC, the filters, entropy coding only, every loss
pattern and its settings). A speed change must leave all of them alone.

Usage: compare_builds.py --reference DIR --candidate DIR [--quick]
       [--extra "-t 2"]   (options added to the candidate's command lines)
"""
import argparse
import hashlib
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def pgm(width, height, pixels):
    return b"P5\n%d %d\n255\n" % (width, height) + bytes(pixels)


def read_pgm(path):
    with open(path, "rb") as f:
        data = f.read()
    header = data.split(b"\n", 3)
    width, height = (int(v) for v in header[1].split())
    return width, height, data[len(b"\n".join(header[:3])) + 1:]


def synthetic_images():
    """(name, PGM bytes) of images that stress different paths."""
    rng = random.Random(7)
    images = []
    images.append(("noise256", pgm(256, 256, [rng.randrange(256) for _ in range(256 * 256)])))
    images.append(("tiny16", pgm(16, 16, [(x * 37 + y * 11) % 256 for y in range(16) for x in range(16)])))
    images.append(("wide2080", pgm(2080, 32, [(x // 3 + y * 9) % 256 for y in range(32) for x in range(2080)])))
    images.append(("tall48x1024", pgm(48, 1024, [(x * 5 + (y * y) // 7) % 256 for y in range(1024) for x in range(48)])))
    images.append(("flat64", pgm(64, 64, [128] * 4096)))
    edges = [255 if ((x // 8) + (y // 8)) % 2 else 0 for y in range(96) for x in range(160)]
    images.append(("checker160x96", pgm(160, 96, edges)))
    w, h, camera = read_pgm(os.path.join(ROOT, "images", "camera.pgm"))
    _, _, brick = read_pgm(os.path.join(ROOT, "images", "brick.pgm"))
    images.append(("camera", pgm(w, h, camera)))
    images.append(("brick", pgm(w, h, brick)))
    # 1024 x 1024 from four transformed copies.
    big = bytearray(1024 * 1024)
    for ty in range(2):
        for tx in range(2):
            src = camera if (tx + ty) % 2 == 0 else brick
            for y in range(512):
                for x in range(512):
                    sx, sy = (511 - x if tx else x), (511 - y if ty else y)
                    v = src[sy * 512 + sx]
                    big[(ty * 512 + y) * 1024 + tx * 512 + x] = 255 - v if ty else v
    images.append(("tiled1024", pgm(1024, 1024, big)))
    return images


def cases(images, quick):
    """(name, program, args, input files) of the comparison."""
    filters = ["0", "1", "5", "3", "full8.dat"]
    out = []
    for name, _ in images:
        qs = ["0.5", "3"] if name == "noise256" else ["20"] if quick else ["5", "20", "80"]
        for q in qs:
            for coder in ("1", "0"):
                for mdc in ("0", "1"):
                    for flt in (filters[:2] if quick else filters):
                        tag = "%s-q%s-f%s-m%s-%s" % (name, q, coder, mdc, flt)
                        out.append((tag, "tarnpack", [name + ".pgm", tag + ".out", flt, q, "-f", coder, "-m", mdc]))
    return out


def run(binary, args, folder):
    result = subprocess.run([os.path.basename(binary)] + args, executable=binary, cwd=folder,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
    return result.returncode, result.stdout, result.stderr


def snapshot(folder, before):
    files = {}
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        with open(path, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        if before.get(name) != digest:
            files[name] = digest
    return files


def compare(reference, candidate, prog, args, setup, extra):
    """Runs both builds in fresh folders; returns a list of differences."""
    results = []
    for build, more in ((reference, []), (candidate, extra)):
        folder = tempfile.mkdtemp(prefix="tarn-compare-")
        try:
            for name, data in setup.items():
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(data)
            before = snapshot(folder, {})
            status, stdout, stderr = run(os.path.join(build, prog), args + more, folder)
            results.append((status, stdout, stderr, snapshot(folder, before)))
        finally:
            shutil.rmtree(folder)
    (s1, o1, e1, f1), (s2, o2, e2, f2) = results
    problems = []
    if s1 != s2:
        problems.append("status %d / %d" % (s1, s2))
    if o1 != o2:
        problems.append("stdout differs:\n%s\n%s" % (o1[-300:], o2[-300:]))
    if e1 != e2:
        problems.append("stderr differs")
    if f1 != f2:
        problems.append("files differ: %s" % sorted(k for k in set(f1) | set(f2) if f1.get(k) != f2.get(k)))
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--reference", required=True)
    parser.add_argument("--candidate", required=True)
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--extra", default="", help="options added to the candidate's command lines")
    args = parser.parse_args()
    extra = args.extra.split()
    args.reference, args.candidate = os.path.abspath(args.reference), os.path.abspath(args.candidate)
    images = synthetic_images()
    with open(os.path.join(ROOT, "tests", "vectors", "inputs", "full8.dat"), "rb") as f:
        full8 = f.read()
    inputs = {name + ".pgm": data for name, data in images}
    inputs["full8.dat"] = full8
    runs = failures = 0
    for tag, prog, pack_args in cases(images, args.quick):
        image = pack_args[0]
        setup = {image: inputs[image], "full8.dat": full8}
        problems = compare(args.reference, args.candidate, prog, pack_args, setup, extra)
        runs += 1
        # Decode the reference stream every way the encoder's choices allow.
        ref_folder = tempfile.mkdtemp(prefix="tarn-stream-")
        try:
            for name, data in setup.items():
                with open(os.path.join(ref_folder, name), "wb") as f:
                    f.write(data)
            run(os.path.join(args.reference, "tarnpack"), pack_args, ref_folder)
            with open(os.path.join(ref_folder, tag + ".out"), "rb") as f:
                stream = f.read()
        finally:
            shutil.rmtree(ref_folder)
        coder, mdc, flt = pack_args[5], pack_args[7], pack_args[2]
        base = ["z.out", "dec.pgm", flt, "-f", coder, "-m", mdc]
        decodes = [base, base[:1] + ["dec.raw"] + base[2:] + ["-c", "1"]]
        losses = range(1, 10) if not args.quick else (1, 5, 7, 9)
        if flt in ("full8.dat", "0") and not tag.startswith(("wide", "tiled")):
            for loss in losses:
                for settings in (["-b", "1", "-r", "1", "-x", "0"], ["-b", "0", "-r", "0", "-x", "1"]):
                    decodes.append(base + ["-l", str(loss)] + settings)
        for dargs in decodes:
            p = compare(args.reference, args.candidate, "tarnunpack", dargs, dict(setup, **{"z.out": stream}), extra)
            runs += 1
            problems += ["tarnunpack %s: %s" % (" ".join(dargs), x) for x in p]
        if problems:
            failures += 1
            print("DIFFERENT %s:" % tag)
            for p in problems:
                print("   ", p)
    print("%d runs compared, %d encodings with differences" % (runs, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
