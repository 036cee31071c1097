#!/usr/bin/env python3
"""Benchmark of tarnpack/tarnunpack against other still-image codecs.

Measures, on 8-bit grey images:
  * speed and peak memory of whole encoder and decoder processes at about
    0.5 bpp, at several image sizes (interleaved runs, medians);
  * the fixed cost of starting a process and the cost per pixel;
  * the share of tarnunpack's time spent writing its dump files;
  * rate-distortion (PSNR against bits per pixel of the whole file).

Run it through bench/run, which installs the peer codecs first.
Needs Python 3 with matplotlib (and so numpy) and a C compiler for the
small launcher that measures each process.
"""

import argparse
import datetime
import hashlib
import json
import math
import os
import platform
import re
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

REPO = Path(__file__).resolve().parent.parent
RATES = [0.125, 0.25, 0.5, 1.0, 2.0]
SPEED_RATE = 0.5
TILE = 512
SIZE_TOLERANCE = 0.002      # a search stops once it is this close below the target
RUN_TIMEOUT = 1800          # seconds for one encoder or decoder process
DUMP_FILES = ("LostData.raw", "LostMask.raw", "BeforePost.raw")
PEER_PACKAGES = ["libjpeg-turbo-progs", "libopenjp2-tools", "libjxr-tools", "webp",
                 "python3-matplotlib"]


class BenchError(Exception):
    pass


# ---------------------------------------------------------------------------
# The launcher. A process forked from this interpreter starts with the
# interpreter's resident pages, and Linux carries that size into the child's
# ru_maxrss at exec: a child of Python never reports less than Python's own
# size (tens of MB with matplotlib loaded). So a small C program forks the
# codec, waits for it with wait4 and reports its wall time and rusage; its
# own size (about 1 MB) is the floor of every reading.

LAUNCHER_C = r"""
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char **argv) {
  if (argc < 3) {
    fputs("usage: runstat STATSFILE PROGRAM [ARG...]\n", stderr);
    return 2;
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) { perror("runstat: pipe2"); return 2; }
  struct timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  pid_t pid = fork();
  if (pid < 0) { perror("runstat: fork"); return 2; }
  if (pid == 0) {
    close(fds[0]);
    execvp(argv[2], argv + 2);
    int e = errno;
    ssize_t ignored = write(fds[1], &e, sizeof e);
    (void)ignored;
    _exit(127);
  }
  close(fds[1]);
  int status = 0;
  struct rusage ru;
  while (wait4(pid, &status, 0, &ru) < 0) {
    if (errno != EINTR) { perror("runstat: wait4"); return 2; }
  }
  clock_gettime(CLOCK_MONOTONIC, &t1);
  int exec_errno = 0;
  if (read(fds[0], &exec_errno, sizeof exec_errno) != (ssize_t)sizeof exec_errno)
    exec_errno = 0;
  long long wall_ns = (t1.tv_sec - t0.tv_sec) * 1000000000LL + (t1.tv_nsec - t0.tv_nsec);
  long long cpu_us = (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000000LL
                     + ru.ru_utime.tv_usec + ru.ru_stime.tv_usec;
  FILE *f = fopen(argv[1], "w");
  if (!f) { perror("runstat: stats file"); return 2; }
  fprintf(f, "%lld %ld %lld %d %d %d\n", wall_ns, ru.ru_maxrss, cpu_us,
          WIFEXITED(status) ? WEXITSTATUS(status) : -1,
          WIFSIGNALED(status) ? WTERMSIG(status) : 0, exec_errno);
  if (fclose(f) != 0) { perror("runstat: stats file"); return 2; }
  return 0;
}
"""


def build_launcher(work):
    cc = os.environ.get("CC") or shutil.which("cc") or shutil.which("gcc")
    if not cc:
        raise BenchError("no C compiler (cc) found: it is needed to build the process launcher")
    src = work / "runstat.c"
    exe = work / "runstat"
    src.write_text(LAUNCHER_C)
    r = subprocess.run([cc, "-O2", "-o", str(exe), str(src)], capture_output=True, text=True)
    if r.returncode != 0:
        raise BenchError(f"building the launcher with {cc} failed:\n{r.stderr}")
    return exe


class Runner:
    """Runs programs through the launcher and checks how they ended."""

    def __init__(self, launcher, work):
        self.launcher = str(launcher)
        self.stats = work / "runstat.txt"

    def run(self, argv, cwd, expect=0, what=""):
        """Returns (wall seconds, peak RSS bytes, CPU seconds)."""
        log = Path(cwd) / "run.log"
        with open(log, "wb") as out:
            try:
                r = subprocess.run([self.launcher, str(self.stats)] + argv, cwd=cwd,
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                   timeout=RUN_TIMEOUT)
            except subprocess.TimeoutExpired:
                raise BenchError(f"{what}: timed out after {RUN_TIMEOUT} s: {shlex.join(argv)}")
        if r.returncode != 0:
            raise BenchError(f"launcher failed ({r.returncode}) on {shlex.join(argv)}:\n"
                             + tail(log))
        wall_ns, rss_kb, cpu_us, code, sig, exec_errno = map(int, self.stats.read_text().split())
        if exec_errno:
            raise BenchError(f"{what}: cannot run {argv[0]}: {os.strerror(exec_errno)}")
        if sig:
            raise BenchError(f"{what}: {shlex.join(argv)} was killed by signal {sig} "
                             f"(in {cwd}):\n" + tail(log))
        if code != expect:
            raise BenchError(f"{what}: {shlex.join(argv)} exited {code}, expected {expect} "
                             f"(in {cwd}); its output:\n" + tail(log))
        return wall_ns / 1e9, rss_kb * 1024, cpu_us / 1e6


def tail(path, lines=15):
    try:
        text = Path(path).read_text(errors="replace").splitlines()
    except OSError:
        return "  (no output)"
    return "\n".join("  | " + l for l in text[-lines:]) or "  (no output)"


def run_plain(argv, cwd, what):
    """Runs a program without measuring it (searches, checks)."""
    try:
        r = subprocess.run(argv, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True,
                           timeout=RUN_TIMEOUT)
    except FileNotFoundError:
        raise BenchError(f"{what}: cannot run {argv[0]}: not found")
    except subprocess.TimeoutExpired:
        raise BenchError(f"{what}: timed out after {RUN_TIMEOUT} s: {shlex.join(argv)}")
    if r.returncode != 0:
        out = (r.stdout + r.stderr).decode(errors="replace").splitlines()[-15:]
        raise BenchError(f"{what}: {shlex.join(argv)} exited {r.returncode} (in {cwd}):\n"
                         + "\n".join("  | " + l for l in out))
    return r


# ---------------------------------------------------------------------------
# Images

def read_pnm(path):
    """Reads a binary PGM (P5) or PPM (P6) with 8-bit samples; returns an
    array of shape (h, w) or (h, w, 3)."""
    data = Path(path).read_bytes()
    tokens, pos = [], 0
    while len(tokens) < 4:
        while pos < len(data) and data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            while pos < len(data) and data[pos:pos + 1] not in (b"\n", b"\r"):
                pos += 1
            continue
        start = pos
        while pos < len(data) and not data[pos:pos + 1].isspace() and data[pos:pos + 1] != b"#":
            pos += 1
        if start == pos:
            raise BenchError(f"{path}: truncated PNM header")
        tokens.append(data[start:pos].decode("ascii", "replace"))
    pos += 1  # the single whitespace after maxval
    magic, w, h, maxval = tokens[0], int(tokens[1]), int(tokens[2]), int(tokens[3])
    if magic not in ("P5", "P6") or maxval != 255:
        raise BenchError(f"{path}: not an 8-bit binary PGM/PPM ({magic}, maxval {maxval})")
    ch = 1 if magic == "P5" else 3
    n = w * h * ch
    if len(data) - pos < n:
        raise BenchError(f"{path}: {len(data) - pos} bytes of samples, {n} expected")
    a = np.frombuffer(data, np.uint8, n, pos)
    return a.reshape(h, w) if ch == 1 else a.reshape(h, w, 3)


def write_pgm(path, a):
    h, w = a.shape
    with open(path, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (w, h))
        f.write(np.ascontiguousarray(a, np.uint8).tobytes())


def to_grey(a):
    """Grey from a decoded image: PGM as is; RGB through the BT.601 luma
    weights, the inverse of how an RGB encoder turns v,v,v into luma."""
    if a.ndim == 2:
        return a
    y = 0.299 * a[..., 0] + 0.587 * a[..., 1] + 0.114 * a[..., 2]
    return np.clip(np.rint(y), 0, 255).astype(np.uint8)


def psnr(ref, dec):
    if ref.shape != dec.shape:
        raise BenchError(f"decoded image is {dec.shape[1]}x{dec.shape[0]}, "
                         f"original {ref.shape[1]}x{ref.shape[0]}")
    d = ref.astype(np.float64) - dec.astype(np.float64)
    mse = float(np.mean(d * d))
    return math.inf if mse == 0 else 10 * math.log10(255.0 * 255.0 / mse)


def tile_variant(base, v):
    """Variant v of a 512x512 tile: v % 8 picks one of the eight mirrorings
    and transpositions, (v // 8) % 2 inverts, v // 16 picks a cyclic shift."""
    t = base
    d = v % 8
    if d & 4:
        t = t.T
    if d & 1:
        t = t[::-1, :]
    if d & 2:
        t = t[:, ::-1]
    if (v // 8) % 2:
        t = 255 - t
    s = v // 16
    if s:
        t = np.roll(t, ((s * 211) % TILE, (s * 137) % TILE), axis=(0, 1))
    return t


def tiled_image(n, bases):
    """An n x n image (n a multiple of 512) of distinct tiles: the two sample
    images in a checkerboard, tile k in row-major order being variant k // 2
    of its image. At 512 this is the first image itself."""
    if n % TILE:
        raise BenchError(f"size {n} is not a multiple of {TILE}")
    per = n // TILE
    img = np.empty((n, n), np.uint8)
    seen = set()
    for r in range(per):
        for c in range(per):
            k = r * per + c
            t = tile_variant(bases[(r + c) % 2], k // 2)
            digest = hashlib.sha1(np.ascontiguousarray(t).tobytes()).digest()
            if digest in seen:
                raise BenchError(f"tile {k} of the {n}x{n} image repeats another tile")
            seen.add(digest)
            img[r * TILE:(r + 1) * TILE, c * TILE:(c + 1) * TILE] = t
    return img


# ---------------------------------------------------------------------------
# Codecs. Each has one setting searched for a rate; `to_value(t)` maps
# t in [0, 1] to the setting's text, t growing with the file size.

class Param:
    def __init__(self, name, lo, hi, kind, grows, fmt=None):
        self.name, self.lo, self.hi, self.kind, self.grows = name, lo, hi, kind, grows
        self.fmt = fmt

    def to_value(self, t):
        if not self.grows:
            t = 1 - t
        if self.kind == "int":
            return str(self.lo + int(round(t * (self.hi - self.lo))))
        if self.kind == "log":
            v = math.exp(math.log(self.lo) + t * (math.log(self.hi) - math.log(self.lo)))
        else:
            v = self.lo + t * (self.hi - self.lo)
        return self.fmt % v

    def snap(self, t):
        """t moved onto the nearest integer setting (unchanged for floats)."""
        if self.kind != "int":
            return t
        n = self.hi - self.lo
        u = t if self.grows else 1 - t
        u = round(u * n) / n
        return u if self.grows else 1 - u


class Codec:
    def __init__(self, key, label, group, param, enc, dec, stream, decoded, note="", base=None):
        self.key, self.label, self.group, self.param = key, label, group, param
        self._enc, self._dec = enc, dec
        self.stream, self.decoded, self.note = stream, decoded, note
        self.base = base  # a codec whose setting this one shares (the same stream, more threads)

    def enc(self, value, src):
        return self._enc(value, str(src), self.stream)

    def dec(self):
        return self._dec(self.stream, self.decoded)


def make_codecs(progs, tools):
    tp, tu = str(progs / "tarnpack"), str(progs / "tarnunpack")

    def tarn(key, label, extra, base=None):
        return Codec(key, label, "tarn", Param("q", 0.25, 4096, "log", False, "%.4g"),
                     lambda q, src, out: [tp, src, out, "0", q] + extra,
                     lambda s, d: [tu, s, d, "0"] + extra, "stream.out", "decoded.pgm", base=base)

    modes = [("tarn-eceb", "tarn ECEB", []), ("tarn-lceb", "tarn LCEB", ["-f", "0"]),
             ("tarn-eceb-mdc", "tarn ECEB MDC", ["-m", "1"]),
             ("tarn-lceb-mdc", "tarn LCEB MDC", ["-f", "0", "-m", "1"])]
    return [tarn(k, l, e) for k, l, e in modes] + [
        tarn(k + "-t2", l + ", 2 threads", e + ["-t", "2"], base=k) for k, l, e in modes] + [
        Codec("jpeg", "JPEG (libjpeg-turbo)", "peer", Param("quality", 1, 100, "int", True),
              lambda q, src, out: [tools["cjpeg"], "-grayscale", "-optimize", "-quality", q,
                                   "-outfile", out, src],
              lambda s, d: [tools["djpeg"], "-pnm", "-outfile", d, s],
              "stream.jpg", "decoded.pgm",
              "cjpeg reads the PGM and writes a one-component (grey) JPEG; djpeg writes a PGM."),
        Codec("j2k", "JPEG 2000 (OpenJPEG)", "peer", Param("ratio", 1.05, 4000, "log", False, "%.4g"),
              lambda r, src, out: [tools["opj_compress"], "-i", src, "-o", out, "-I", "-r", r,
                                   "-threads", "1"],
              lambda s, d: [tools["opj_decompress"], "-i", s, "-o", d, "-threads", "1", "-quiet"],
              "stream.j2k", "decoded.pgm",
              "opj_compress reads the PGM as one component (no colour transform) and writes a "
              "raw codestream (.j2k, no JP2 boxes), irreversible 9/7 wavelet, one quality "
              "layer at compression ratio r; opj_decompress writes a PGM."),
        Codec("jxr", "JPEG XR (jxrlib)", "peer", Param("quantization", 1, 255, "int", False),
              lambda q, src, out: [tools["JxrEncApp"], "-i", src, "-o", out, "-q", q],
              lambda s, d: [tools["JxrDecApp"], "-i", s, "-o", d],
              "stream.jxr", "decoded.pgm",
              "JxrEncApp reads a binary PGM as 8bppGray (its help lists PNM as RGB only, but a "
              "P5 file is coded Y-only: the stream is byte for byte the one `-d 0` gives, and "
              "`-q 1` round-trips losslessly); JxrDecApp writes a PGM. The setting is the "
              "quantization index (1..255): the quality form (-q 0..1) cannot go below about "
              "0.28 bpp on camera. Overlap and tiling are the tool's defaults."),
        Codec("webp", "WebP (libwebp)", "peer", Param("q", 0, 100, "lin", True, "%.2f"),
              lambda q, src, out: [tools["cwebp"], "-quiet", "-q", q, src, "-o", out],
              lambda s, d: [tools["dwebp"], "-quiet", s, "-ppm", "-o", d],
              "stream.webp", "decoded.ppm",
              "Lossy WebP has no grey mode: cwebp turns the grey PGM into YUV 4:2:0 with flat "
              "chroma (a few bytes of every file go to the two chroma planes), and dwebp "
              "writes RGB. PSNR is taken on round(0.299 R + 0.587 G + 0.114 B) of the decoded "
              "RGB (BT.601 luma, the weights cwebp used); the decoder's time includes writing "
              "3 bytes per pixel instead of 1. VP8 limits the first partition (the modes) to "
              "512 KiB: at 0.5 bpp an 8192x8192 image comes close, and when it overflows cwebp "
              "halves the bits allowed for intra-4x4 modes and encodes again (`cwebp -v` shows "
              "the intra-4x4 share falling from about 65 % at 4096x4096 to 46 %, the same for "
              "a 2x2 tiling of the 4096x4096 image), which slows its encoder at that size."),
    ]


# ---------------------------------------------------------------------------
# Searching the setting closest to a rate from below.

class Unreachable(Exception):
    def __init__(self, min_bpp):
        self.min_bpp = min_bpp


class Searcher:
    def __init__(self, work):
        self.work = work
        self.cache = {}     # (codec, image path, value) -> bytes
        self.found = {}     # (codec, image path, rate) -> (value, bytes, t)

    def size(self, codec, image, value, cwd):
        key = (codec.key, str(image), value)
        if key not in self.cache:
            out = Path(cwd) / codec.stream
            if out.exists():
                out.unlink()
            run_plain(codec.enc(value, image), cwd, f"{codec.label} encode ({codec.param.name} {value})")
            if not out.exists() or out.stat().st_size == 0:
                raise BenchError(f"{codec.label}: encoder wrote no {codec.stream} in {cwd}")
            self.cache[key] = out.stat().st_size
        return self.cache[key]

    def find(self, codec, image, pixels, rate, cwd, seed=None):
        """Returns (value, bytes, t): the setting whose whole file is largest
        while at most rate * pixels bits, by bisection on t."""
        key = (codec.key, str(image), rate)
        if key in self.found:
            return self.found[key]
        target = rate * pixels / 8
        p = codec.param
        probes = {}

        def probe(t):
            v = p.to_value(t)
            probes[t] = (v, self.size(codec, image, v, cwd))
            return probes[t][1]

        lo = hi = None
        if seed is not None:
            d = 1 / 64 if p.kind != "int" else 2 / max(1, p.hi - p.lo)
            seed = p.snap(seed)
            if probe(seed) <= target:
                lo, t = seed, seed
                while hi is None:
                    t = p.snap(min(1.0, t + d))
                    if probe(t) > target:
                        hi = t
                    elif t >= 1.0:
                        break
                    else:
                        lo, d = t, d * 2
            else:
                hi, t = seed, seed
                while lo is None:
                    t = p.snap(max(0.0, t - d))
                    if probe(t) <= target:
                        lo = t
                    elif t <= 0.0:
                        break
                    else:
                        hi, d = t, d * 2
        if lo is None:
            if probe(0.0) > target:
                raise Unreachable(probes[0.0][1] * 8 / pixels)
            lo = 0.0
        if hi is None and lo < 1.0:
            if probe(1.0) > target:
                hi = 1.0
        if hi is not None:
            for _ in range(60):
                best = max(s for v, s in probes.values() if s <= target)
                if best >= target * (1 - SIZE_TOLERANCE):
                    break
                mid = p.snap((lo + hi) / 2)
                if p.to_value(mid) in (p.to_value(lo), p.to_value(hi)):
                    break
                if probe(mid) <= target:
                    lo = mid
                else:
                    hi = mid
        t_best = max((t for t in probes if probes[t][1] <= target), key=lambda t: probes[t][1])
        v, s = probes[t_best]
        self.found[key] = (v, s, t_best)
        return self.found[key]


# ---------------------------------------------------------------------------
# Helpers for the report

def med(xs):
    return statistics.median(xs)


def table(header, rows):
    out = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
    out += ["| " + " | ".join(str(c) for c in r) + " |" for r in rows]
    return "\n".join(out)


def f1(x):
    return f"{x:.1f}"


def f2(x):
    return f"{x:.2f}"


def f3(x):
    return f"{x:.3f}"


def dpkg_version(pkg):
    r = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", pkg], capture_output=True, text=True)
    return r.stdout.strip() if r.returncode == 0 and r.stdout.strip() else "not installed"


def cpu_model():
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def loadavg():
    try:
        return " ".join(Path("/proc/loadavg").read_text().split()[:3])
    except OSError:
        return "unknown"


def tarn_version(progs):
    lines = []
    pc = progs / "tarn.pc"
    cache = progs / "CMakeCache.txt"
    version = None
    if pc.exists():
        m = re.search(r"^Version:\s*(\S+)", pc.read_text(), re.M)
        version = m and m.group(1)
    src = btype = cxx = None
    if cache.exists():
        text = cache.read_text(errors="replace")

        def get(name):
            m = re.search(rf"^{name}:[A-Z]+=(.*)$", text, re.M)
            return m.group(1).strip() if m else None
        version = version or get("CMAKE_PROJECT_VERSION")
        src, btype, cxx = get("tarn_SOURCE_DIR") or get("CMAKE_HOME_DIRECTORY"), \
            get("CMAKE_BUILD_TYPE"), get("CMAKE_CXX_COMPILER")
    lines.append(f"tarn: {version or 'unknown (no tarn.pc or CMakeCache.txt in the programs folder)'}")
    lines.append(f"tarn programs: {progs}")
    if src:
        lines.append(f"tarn source: {src}")
        r = subprocess.run(["git", "-C", src, "rev-parse", "HEAD"], capture_output=True, text=True)
        if r.returncode == 0:
            dirty = subprocess.run(["git", "-C", src, "status", "--porcelain", "--untracked-files=no"],
                                   capture_output=True, text=True).stdout.strip()
            lines.append(f"tarn source commit: {r.stdout.strip()}{' (with local changes)' if dirty else ''}")
        else:
            lines.append("tarn source commit: not a git work tree")
    if btype:
        lines.append(f"tarn build type: {btype}, compiler {cxx}")
    for name in ("tarnpack", "tarnunpack"):
        digest = hashlib.sha256((progs / name).read_bytes()).hexdigest()
        lines.append(f"sha256 {name}: {digest}")
    return lines


# ---------------------------------------------------------------------------

def parse_args():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--programs", type=Path, default=REPO / "build",
                    help="folder with tarnpack and tarnunpack (default: build/ of this repo)")
    ap.add_argument("--out", type=Path, default=REPO / "bench" / "results",
                    help="folder for the results (default: bench/results)")
    ap.add_argument("--sizes", help="image sizes for speed, multiples of 512 "
                                    "(default 512,2048,4096,8192; quick: 512,1024)")
    ap.add_argument("--runs", type=int, help="timed runs after the warm-up (default 5; quick: 2)")
    ap.add_argument("--rd-size", type=int, help="size of the larger rate-distortion image "
                                                "(default 2048; quick: 1024)")
    ap.add_argument("--headline", type=int, default=4096,
                    help="size of the headline speed table (default 4096, else the largest)")
    ap.add_argument("--quick", action="store_true", help="fast smoke run: small sizes, 2 runs")
    ap.add_argument("--work", type=Path, help="scratch folder (default: a new folder in /tmp, "
                                              "removed at the end)")
    ap.add_argument("--keep-work", action="store_true", help="keep the scratch folder")
    a = ap.parse_args()
    a.sizes = [int(s) for s in (a.sizes or ("512,1024" if a.quick else "512,2048,4096,8192")).split(",")]
    a.runs = a.runs if a.runs is not None else (2 if a.quick else 5)
    a.rd_size = a.rd_size or (1024 if a.quick else 2048)
    if a.runs < 1:
        ap.error("--runs must be at least 1")
    for s in a.sizes + [a.rd_size]:
        if s <= 0 or s % TILE:
            ap.error(f"size {s} is not a positive multiple of {TILE}")
    a.sizes = sorted(set(a.sizes))
    return a


class Bench:
    """One benchmark run: the set-up, the measurements and the report."""

    RD_CODECS = ("tarn-eceb", "tarn-lceb", "jpeg", "j2k", "jxr", "webp")

    def __init__(self, a):
        self.a = a
        self.progs = a.programs.resolve()
        for name in ("tarnpack", "tarnunpack"):
            if not os.access(self.progs / name, os.X_OK):
                raise BenchError(f"no executable {name} in {self.progs}: build the project first "
                                 f"(cmake -S . -B build && cmake --build build -j2) or pass --programs")
        self.tools = {}
        for name in ("cjpeg", "djpeg", "opj_compress", "opj_decompress", "JxrEncApp", "JxrDecApp",
                     "cwebp", "dwebp"):
            path = shutil.which(name)
            if not path:
                raise BenchError(f"{name} not found: run bench/run, which installs the peers "
                                 f"({', '.join(PEER_PACKAGES[:4])})")
            self.tools[name] = path
        self.out = a.out.resolve()
        self.out.mkdir(parents=True, exist_ok=True)
        if a.work:
            self.work = a.work.resolve()
            self.work.mkdir(parents=True, exist_ok=True)
        else:
            self.work = Path(tempfile.mkdtemp(prefix="tarn-bench-"))
        self.started = datetime.datetime.now(datetime.timezone.utc)
        self.load_start = loadavg()
        self.runner = Runner(build_launcher(self.work), self.work)
        self.codecs = make_codecs(self.progs, self.tools)
        by_key = {c.key: c for c in self.codecs}
        self.rd_codecs = [by_key[k] for k in self.RD_CODECS]
        self.searcher = Searcher(self.work)
        self.commands = []      # (group, codec, value, encode argv, decode argv, result)
        self.data = {"sizes": a.sizes, "runs": a.runs, "rd": {}, "speed": {}, "start": {},
                     "dump": {}, "webp_channel_spread": 0}
        self.make_images()

    # ---------------- images

    def make_images(self):
        self.imgdir = self.work / "images"
        self.imgdir.mkdir(exist_ok=True)
        bases = [read_pnm(REPO / "images" / "camera.pgm"), read_pnm(REPO / "images" / "brick.pgm")]
        for b in bases:
            if b.ndim != 2 or b.shape != (TILE, TILE):
                raise BenchError("images/camera.pgm and images/brick.pgm must be 512x512 grey PGMs")
        self.images = {"camera": bases[0], "brick": bases[1]}
        for n in sorted(set(self.a.sizes + [self.a.rd_size])):
            if n > TILE:
                self.images[f"tiled-{n}"] = tiled_image(n, bases)
        self.paths = {}
        for name, img in self.images.items():
            self.paths[name] = self.imgdir / f"{name}.pgm"
            write_pgm(self.paths[name], img)
        self.rd_images = list(dict.fromkeys(["camera", "brick", self.speed_image(self.a.rd_size)]))

    @staticmethod
    def speed_image(n):
        return "camera" if n == TILE else f"tiled-{n}"

    def cwd_for(self, codec, tag):
        d = self.work / codec.key / tag
        d.mkdir(parents=True, exist_ok=True)
        return d

    def decoded_psnr(self, codec, cwd, name):
        dec = read_pnm(Path(cwd) / codec.decoded)
        if dec.ndim == 3:
            if codec.key != "webp":
                raise BenchError(f"{codec.label}: the decoder wrote a colour image for grey input")
            spread = int((dec.max(axis=2).astype(int) - dec.min(axis=2)).max())
            self.data["webp_channel_spread"] = max(self.data["webp_channel_spread"], spread)
        return psnr(self.images[name], to_grey(dec))

    # ---------------- rate-distortion

    def rate_distortion(self):
        for name in self.rd_images:
            px = self.images[name].size
            for codec in self.rd_codecs:
                cwd = self.cwd_for(codec, f"rd-{name}")
                for rate in RATES:
                    self.rd_point(codec, name, px, rate, cwd)
        save_json(self.out, self.data)

    def rd_point(self, codec, name, px, rate, cwd):
        key = f"{codec.key}|{name}|{rate}"
        try:
            value, _, t = self.searcher.find(codec, self.paths[name], px, rate, cwd)
        except Unreachable as u:
            self.data["rd"][key] = {"unreachable": True, "min_bpp": u.min_bpp}
            log(f"rd {name} {codec.key} {rate} bpp: not reachable (lowest {u.min_bpp:.3f} bpp)")
            return
        # encode again at the chosen setting (the last probe may have been another), then decode
        enc, dec = codec.enc(value, self.paths[name]), codec.dec()
        run_plain(enc, cwd, f"{codec.label} encode")
        size = (cwd / codec.stream).stat().st_size
        run_plain(dec, cwd, f"{codec.label} decode")
        p = self.decoded_psnr(codec, cwd, name)
        bpp = size * 8 / px
        self.data["rd"][key] = {"value": value, "bytes": size, "bpp": bpp, "psnr": p,
                                "max_setting": t >= 1.0}
        self.commands.append((f"rate-distortion {name}.pgm {rate} bpp", codec, value, enc, dec,
                              f"{bpp:.4f} bpp, {p:.2f} dB"))
        log(f"rd {name} {codec.key} {rate} bpp: {codec.param.name} {value} -> {bpp:.4f} bpp, {p:.2f} dB")

    # ---------------- speed

    def speed_settings(self, n):
        """Each codec's setting for SPEED_RATE at size n, seeded by the last size's."""
        name = self.speed_image(n)
        prev = [s for s in self.a.sizes if s < n]
        chosen = {}
        for codec in self.codecs:
            cwd = self.cwd_for(codec, f"speed-{n}")
            if codec.base:
                chosen[codec.key] = (chosen[codec.base][0], cwd)
                continue
            seed = None
            if prev:
                key = (codec.key, str(self.paths[self.speed_image(prev[-1])]), SPEED_RATE)
                seed = self.searcher.found.get(key, (None, None, None))[2]
            try:
                value, _, _ = self.searcher.find(codec, self.paths[name], n * n, SPEED_RATE, cwd, seed)
            except Unreachable as u:
                raise BenchError(f"{codec.label} cannot code {name} at {SPEED_RATE} bpp "
                                 f"(lowest {u.min_bpp:.3f} bpp)")
            chosen[codec.key] = (value, cwd)
            log(f"speed {n}: {codec.key} {codec.param.name} {value}")
        return chosen

    def check_outputs(self, codec, n, value, cwd, enc, dec):
        """After the warm-up: the outputs exist; records bpp, PSNR and the commands.
        Returns the sizes of a tarn decoder's dump files."""
        name, px = self.speed_image(n), n * n
        stream = cwd / codec.stream
        if not stream.exists() or stream.stat().st_size == 0 or not (cwd / codec.decoded).exists():
            raise BenchError(f"{codec.label} at {n}x{n}: no stream or no decoded image in {cwd}")
        size = stream.stat().st_size
        p = self.decoded_psnr(codec, cwd, name)
        self.data["speed"][f"{codec.key}|{n}"] = {"value": value, "bytes": size,
                                                 "bpp": size * 8 / px, "psnr": p}
        self.commands.append((f"speed {n}x{n} ({name}.pgm), about {SPEED_RATE} bpp", codec, value,
                              enc, dec, f"{size * 8 / px:.4f} bpp, {p:.2f} dB"))
        if codec.group != "tarn":
            return None
        sizes = []
        for f in DUMP_FILES:
            if not (cwd / f).exists():
                raise BenchError(f"{codec.label}: the decoder wrote no {f} in {cwd}")
            sizes.append((cwd / f).stat().st_size)
        return sizes

    def time_dump_write(self, cwd, sizes):
        """Seconds to write files of these sizes into cwd, as the decoder does."""
        need = max(sizes)
        if getattr(self, "_dump_buf", None) is None or len(self._dump_buf) < need:
            self._dump_buf = bytes(range(256)) * (need // 256 + 1)
        buf = memoryview(self._dump_buf)
        t0 = time.perf_counter()
        for i, size in enumerate(sizes):
            with open(cwd / f"dumpwrite{i}.raw", "wb") as f:
                f.write(buf[:size])
        return time.perf_counter() - t0

    def speed(self, n):
        """Warm-up round (checks the outputs), then a.runs rounds, each running
        every codec's encoder and decoder once, the start cost and the dump write."""
        chosen = self.speed_settings(n)
        path = self.paths[self.speed_image(n)]
        samples = {c.key: {"enc": [], "dec": []} for c in self.codecs}
        start = {"tarnpack": [], "tarnunpack": []}
        start_runs = max(1, math.ceil(50 / self.a.runs))
        dump_sizes, dump_times = None, []
        for rnd in range(self.a.runs + 1):
            for codec in self.codecs:
                value, cwd = chosen[codec.key]
                enc, dec = codec.enc(value, path), codec.dec()
                if rnd == 0:
                    for f in [codec.stream, codec.decoded] + list(DUMP_FILES):
                        if (cwd / f).exists():
                            (cwd / f).unlink()
                e = self.runner.run(enc, cwd, what=f"{codec.label} encode {n}x{n}")
                d = self.runner.run(dec, cwd, what=f"{codec.label} decode {n}x{n}")
                if rnd == 0:
                    sizes = self.check_outputs(codec, n, value, cwd, enc, dec)
                    if codec.key == "tarn-eceb":
                        dump_sizes = sizes
                else:
                    samples[codec.key]["enc"].append(e)
                    samples[codec.key]["dec"].append(d)
                if codec.key == "tarn-eceb":
                    t = self.time_dump_write(cwd, dump_sizes)
                    if rnd:
                        dump_times.append(t)
            if rnd:
                cwd0 = chosen["tarn-eceb"][1]
                for _ in range(start_runs):
                    for prog in start:
                        start[prog].append(self.runner.run([str(self.progs / prog)], cwd0, expect=1,
                                                           what=f"{prog} without arguments")[0])
            log(f"size {n}: round {rnd}{' (warm-up)' if rnd == 0 else ''} done, load {loadavg()}")
        for key, s in samples.items():
            rec = self.data["speed"][f"{key}|{n}"]
            for side in ("enc", "dec"):
                walls = [x[0] for x in s[side]]
                rec[side] = {"wall": walls, "rss": [x[1] for x in s[side]],
                             "cpu": [x[2] for x in s[side]], "median": med(walls),
                             "rss_max": max(x[1] for x in s[side]),
                             "cpu_per_wall": med([x[2] / x[0] for x in s[side]])}
        self.data["start"][str(n)] = {p: {"runs": v, "median": med(v)} for p, v in start.items()}
        self.data["dump"][str(n)] = {"bytes": sum(dump_sizes), "times": dump_times,
                                     "median": med(dump_times)}
        save_json(self.out, self.data)

    # ---------------- report

    def spd(self, key, n):
        return self.data["speed"][f"{key}|{n}"]

    def mps(self, key, n, side):
        return n * n / 1e6 / self.spd(key, n)[side]["median"]

    def ratio(self, key, n, side):
        return self.mps(key, n, side) / self.mps("tarn-eceb", n, side)

    def write_results(self):
        self.finished = datetime.datetime.now(datetime.timezone.utc)
        self.load_end = loadavg()
        md = self.md_header() + self.md_targets() + self.md_speed() + self.md_rd() + self.md_notes()
        (self.out / "results.md").write_text("\n".join(md) + "\n")
        self.plot()
        self.write_commands()
        self.write_versions()
        save_json(self.out, self.data)

    def md_header(self):
        a = self.a
        return ["# tarn benchmark results\n",
                f"{self.started:%Y-%m-%d %H:%M} UTC to {self.finished:%H:%M} UTC, {cpu_model()}, "
                f"{os.cpu_count()} cores, load average {self.load_start} at the start, "
                f"{self.load_end} at the end. Programs: `{self.progs}`. {a.runs} timed runs after "
                f"one warm-up, codecs interleaved run by run; times are medians of whole-process "
                f"wall time." + (" **Quick mode: smoke-test numbers only.**" if a.quick else "") + "\n"]

    def head(self):
        return self.a.headline if self.a.headline in self.a.sizes else max(self.a.sizes)

    def start_cost(self):
        return {p: med([x for n in self.a.sizes for x in self.data["start"][str(n)][p]["runs"]])
                for p in ("tarnpack", "tarnunpack")}

    def md_targets(self):
        """The speed work's targets at the headline size, each with its figures."""
        n = self.head()
        md = [f"## Targets at {n}x{n}\n",
              "Ratios above 1 mean tarn is faster. Two threads: tarn's MP/s with `-t 2` over its "
              "MP/s with one. Cost per pixel: (median time - start cost) / pixels, its spread "
              "(largest / smallest - 1) over the sizes from 2048² up.\n"]
        rows = []

        def speed_vs(mode, peer, side):
            return self.mps(mode, n, side) / self.mps(peer, n, side)

        for mode in ("tarn-eceb", "tarn-lceb"):
            for peer, goal in (("jxr", 1.0), ("j2k", 1.0)):
                for side in ("enc", "dec"):
                    r = speed_vs(mode, peer, side)
                    rows.append([f"{self.label(mode)} {side} vs {self.label(peer)}", f">= {goal:g}",
                                 f2(r), "yes" if r >= goal else "no"])
        for mode, goal in (("tarn-eceb", 1.3), ("tarn-lceb", 1.3), ("tarn-eceb-mdc", 1.7),
                           ("tarn-lceb-mdc", 1.7)):
            for side in ("enc", "dec"):
                r = speed_vs(mode + "-t2", mode, side)
                rows.append([f"{self.label(mode)} {side}, 2 threads vs 1", f">= {goal:g}", f2(r),
                             "yes" if r >= goal else "no"])
        for mode in ("tarn-eceb", "tarn-lceb"):
            for side in ("enc", "dec"):
                b = self.spd(mode, n)[side]["rss_max"] / n ** 2
                rows.append([f"{self.label(mode)} {side} peak memory", "<= 6.5 B/px", f2(b),
                             "yes" if b <= 6.5 else "no"])
        big = [m for m in self.a.sizes if m >= 2048]
        if len(big) > 1:
            st = self.start_cost()
            for mode in ("tarn-eceb", "tarn-lceb", "tarn-eceb-mdc", "tarn-lceb-mdc"):
                for side, prog in (("enc", "tarnpack"), ("dec", "tarnunpack")):
                    per = [(self.spd(mode, m)[side]["median"] - st[prog]) / m ** 2 for m in big]
                    spread = max(per) / min(per) - 1
                    rows.append([f"{self.label(mode)} {side} cost per pixel, {big[0]}² to {big[-1]}²",
                                 "<= 20 %", f"{spread * 100:.0f} % ({', '.join(f'{x * 1e9:.1f}' for x in per)}"
                                 " ns/px)", "yes" if spread <= 0.2 else "no"])
        md.append(table(["target", "goal", "measured", "met"], rows) + "\n")
        return md

    def label(self, key):
        return next(c.label for c in self.codecs if c.key == key)

    def md_speed(self):
        a, sizes, codecs = self.a, self.a.sizes, self.codecs
        head = a.headline if a.headline in sizes else max(sizes)
        md = [f"## Speed at {head}x{head}, about {SPEED_RATE} bpp\n"]
        if head != a.headline:
            md.append(f"({a.headline}x{a.headline} was not measured in this run; this is the "
                      f"largest size.)\n")
        md.append("MP/s: megapixels per second of the whole process (start, read, code, write). "
                  "Peak memory: the process's peak resident size per pixel of the image. "
                  "vs ours: this codec's MP/s divided by tarn ECEB's (above 1: faster than ours).\n")
        rows = []
        for c in codecs:
            s = self.spd(c.key, head)
            rows.append([c.label, f"{c.param.name} {s['value']}", f3(s["bpp"]), f2(s["psnr"]),
                         f1(self.mps(c.key, head, "enc")), f1(self.mps(c.key, head, "dec")),
                         f2(s["enc"]["rss_max"] / head ** 2), f2(s["dec"]["rss_max"] / head ** 2),
                         f2(self.ratio(c.key, head, "enc")), f2(self.ratio(c.key, head, "dec"))])
        md.append(table(["codec", "setting", "bpp", "PSNR dB", "enc MP/s", "dec MP/s",
                         "enc peak B/px", "dec peak B/px", "enc vs ours", "dec vs ours"], rows) + "\n")

        md.append("## Scaling\n")
        md.append(f"The same measurement at each size (each size's own setting for about "
                  f"{SPEED_RATE} bpp). Cells: encode / decode.\n")
        rows = [[c.label]
                + [f"{f1(self.mps(c.key, n, 'enc'))} / {f1(self.mps(c.key, n, 'dec'))}" for n in sizes]
                + [f"{f2(self.spd(c.key, n)['enc']['rss_max'] / n ** 2)} / "
                   f"{f2(self.spd(c.key, n)['dec']['rss_max'] / n ** 2)}" for n in sizes]
                for c in codecs]
        md.append(table(["codec"] + [f"{n}² MP/s" for n in sizes]
                        + [f"{n}² peak B/px" for n in sizes], rows) + "\n")
        md.append("Speed vs tarn ECEB (this codec's MP/s divided by ours), encode / decode:\n")
        rows = [[c.label] + [f"{f2(self.ratio(c.key, n, 'enc'))} / {f2(self.ratio(c.key, n, 'dec'))}"
                             for n in sizes] for c in codecs]
        md.append(table(["codec"] + [f"{n}²" for n in sizes], rows) + "\n")

        st = {p: med([x for n in sizes for x in self.data["start"][str(n)][p]["runs"]])
              for p in ("tarnpack", "tarnunpack")}
        count = sum(len(self.data["start"][str(n)]["tarnpack"]["runs"]) for n in sizes)
        md.append("### Cost per pixel\n")
        md.append(f"Start cost (the program without arguments prints its usage and exits 1; median "
                  f"of {count} runs each, spread over the rounds): tarnpack "
                  f"{st['tarnpack'] * 1e3:.2f} ms, tarnunpack {st['tarnunpack'] * 1e3:.2f} ms. "
                  "Cells: median time, and (median time - start cost) / pixels.\n")
        tarn = [c for c in codecs if c.group == "tarn"]
        rows = []
        for c in tarn:
            for side, prog in (("enc", "tarnpack"), ("dec", "tarnunpack")):
                rows.append([c.label, prog] + [
                    f"{self.spd(c.key, n)[side]['median'] * 1e3:.1f} ms, "
                    f"{(self.spd(c.key, n)[side]['median'] - st[prog]) / n ** 2 * 1e9:.1f} ns/px"
                    for n in sizes])
        md.append(table(["codec", "program"] + [f"{n}²" for n in sizes], rows) + "\n")

        md.append("### tarnunpack's dump files\n")
        md.append("tarnunpack writes LostData.raw, LostMask.raw and BeforePost.raw into its folder. "
                  "Their cost: the median time this script takes to write as many bytes into files "
                  "of the same folder, divided by the decoder's median time.\n")
        rows = []
        for n in sizes:
            dm = self.data["dump"][str(n)]
            rows.append([f"{n}²", f"{dm['bytes'] / 2 ** 20:.1f} MiB ({dm['bytes'] / n ** 2:.2f} B/px)",
                         f"{dm['median'] * 1e3:.1f} ms"]
                        + [f"{dm['median'] / self.spd(c.key, n)['dec']['median'] * 100:.0f} %"
                           for c in tarn])
        md.append(table(["size", "dump files", "write time"]
                        + [f"share of {c.label} decode" for c in tarn], rows) + "\n")
        return md

    def rd_columns(self):
        cols = [("camera", ["camera"]), ("brick", ["brick"]),
                ("mean of camera and brick", ["camera", "brick"])]
        if self.rd_images[-1] not in ("camera", "brick"):
            cols.append((f"tiled {self.a.rd_size}x{self.a.rd_size}", [self.rd_images[-1]]))
        return cols

    def rd_curve(self, codec, names):
        """Per rate: (psnr, bpp, top setting) averaged over the images, or
        ('n/a', lowest bpp) when a rate is below the codec's lowest setting."""
        points = []
        for rate in RATES:
            recs = [self.data["rd"][f"{codec.key}|{nm}|{rate}"] for nm in names]
            if any(r.get("unreachable") for r in recs):
                points.append(("n/a", max(r["min_bpp"] for r in recs if r.get("unreachable")), False))
            else:
                points.append((statistics.mean(r["psnr"] for r in recs),
                               statistics.mean(r["bpp"] for r in recs),
                               any(r["max_setting"] for r in recs)))
        return points

    def md_rd(self):
        md = ["## Rate-distortion\n",
              "PSNR (dB, peak 255, against the original grey image) at each codec's setting whose "
              "whole file is closest to the rate from below; the actual bpp in brackets. tarn: "
              "filter 0, one description. Mean: the mean of camera's and brick's PSNR and bpp.\n"]
        for title, names in self.rd_columns():
            md.append(f"### {title}\n")
            rows = []
            for c in self.rd_codecs:
                row = [c.label]
                for p, b, top in self.rd_curve(c, names):
                    row.append(f"n/a (lowest {b:.3f} bpp)" if p == "n/a"
                               else f"{p:.2f} ({b:.3f}{', top setting' if top else ''})")
                rows.append(row)
            md.append(table(["codec"] + [f"{r} bpp" for r in RATES], rows) + "\n")
        md.append("![PSNR against bpp](rd.png)\n")
        return md

    def md_notes(self):
        md = ["## Peers and grey input\n"]
        for c in self.codecs:
            if c.group == "peer":
                md.append(f"- **{c.label}**: {c.note}")
        md.append("- **tarn**: tarnpack reads the PGM; the stream size is that of the output file "
                  "(with MDC, the one file holding all four descriptions; the copies mdc1.out .. "
                  "mdc4.out written beside it are not counted). tarnunpack writes a PGM and its "
                  "dump files.")
        spread = self.data["webp_channel_spread"]
        md.append(f"- WebP's decoded R, G and B differed by at most {spread} "
                  f"level{'' if spread == 1 else 's'} in any pixel measured (chroma error on the "
                  f"flat chroma planes).")
        md.append("- Every codec runs single-threaded but the tarn rows marked 2 threads (`-t 2`, "
                  "the same streams and images): opj_compress/opj_decompress with `-threads 1`, "
                  "cwebp/dwebp without `-mt`; the others have no threads.")
        multi = [f"{c.label} {side} {n}²" for c in self.codecs for n in self.a.sizes
                 for side in ("enc", "dec") if self.spd(c.key, n)[side]["cpu_per_wall"] > 1.2]
        md.append("- CPU time / wall time above 1.2 (more than one core busy): "
                  + (", ".join(multi) if multi else "none") + ".")
        md.append("\n## Notes\n")
        md.append("- Settings are found by bisection on the file size; with integer settings (JPEG "
                  "quality, JPEG XR quantization) the closest from below can be some percent under "
                  "the target. All command lines are in commands.txt, versions in versions.txt, "
                  "every raw timing in results.json.")
        md.append("- Peak memory is the codec process's ru_maxrss from wait4 in a small launcher "
                  "(its own size, about 1 MB, is the floor of every reading): a process started "
                  "straight from Python would report at least Python's size.")
        md.append(f"- Larger images: {TILE}x{TILE} tiles of camera and brick in a checkerboard, "
                  f"each tile a distinct mirrored/transposed/inverted/cyclically shifted copy; at "
                  f"{TILE} the speed image is camera itself.")
        for title, names in self.rd_columns():
            if len(names) != 1:
                continue
            for c in self.rd_codecs:
                for rate, (p, b, top) in zip(RATES, self.rd_curve(c, names)):
                    if p == "n/a":
                        md.append(f"- Not reachable: {c.label} on {title} at {rate} bpp, its "
                                  f"lowest setting gives {b:.3f} bpp.")
                    elif top:
                        rec = self.data["rd"][f"{c.key}|{names[0]}|{rate}"]
                        md.append(f"- {c.label} on {title} at {rate} bpp: even its highest setting "
                                  f"({c.param.name} {rec['value']}) gives only {b:.3f} bpp.")
        return md

    def plot(self):
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        cols = self.rd_columns()
        fig, axes = plt.subplots(1, len(cols), figsize=(5 * len(cols), 4.5), squeeze=False)
        for ax, (title, names) in zip(axes[0], cols):
            for c in self.rd_codecs:
                pts = [(b, p) for p, b, _ in self.rd_curve(c, names) if p != "n/a"]
                ax.plot([x for x, _ in pts], [y for _, y in pts], "-o" if c.group == "tarn" else "--s",
                        label=c.label, markersize=4)
            ax.set_xscale("log", base=2)
            ax.set_xticks(RATES)
            ax.set_xticklabels([str(r) for r in RATES])
            ax.set_xlabel("bits per pixel (whole file)")
            ax.set_ylabel("PSNR (dB)")
            ax.set_title(title)
            ax.grid(True, which="both", alpha=0.3)
        axes[0][0].legend(fontsize=8)
        fig.tight_layout()
        fig.savefig(self.out / "rd.png", dpi=110)
        plt.close(fig)

    def write_commands(self):
        lines = ["# Every command line of the measurements, with the chosen settings.",
                 "# Each codec runs in its own scratch folder (the encoder's output and the",
                 f"# decoder's input are relative to it); the images are in {self.imgdir}.",
                 "# The tiled images are rebuilt by benchmark.py (tiled_image) from images/.",
                 "# Timed runs go through the launcher: runstat STATSFILE PROGRAM ARGS...",
                 f"# Start cost: {self.progs / 'tarnpack'} and {self.progs / 'tarnunpack'}, "
                 f"no arguments (exit 1)."]
        group = None
        for g, codec, value, enc, dec, res in self.commands:
            if g != group:
                lines.append(f"\n## {g}")
                group = g
            lines.append(f"[{codec.key}] {codec.param.name} {value} -> {res}")
            lines.append("  " + shlex.join(enc))
            lines.append("  " + shlex.join(dec))
        (self.out / "commands.txt").write_text("\n".join(lines) + "\n")

    def write_versions(self):
        import matplotlib
        v = [f"date: {self.started.isoformat(timespec='seconds')} to "
             f"{self.finished.isoformat(timespec='seconds')}",
             f"cpu: {cpu_model()} ({os.cpu_count()} cores)",
             f"kernel: {platform.release()}",
             f"load average: {self.load_start} at the start, {self.load_end} at the end",
             f"python: {platform.python_version()}, matplotlib {matplotlib.__version__}, "
             f"numpy {np.__version__}"]
        v += tarn_version(self.progs)
        r = subprocess.run(["git", "-C", str(REPO), "rev-parse", "HEAD"], capture_output=True, text=True)
        v.append(f"benchmark script: {Path(__file__).resolve()} "
                 f"(its repo at {r.stdout.strip() or 'unknown'})")
        for pkg in PEER_PACKAGES:
            v.append(f"{pkg}: {dpkg_version(pkg)}")
        for name in ("cjpeg", "cwebp", "dwebp"):
            r = subprocess.run([self.tools[name], "-version"], capture_output=True, text=True)
            text = (r.stdout + r.stderr).strip()
            v.append(f"{name} -version: {text.splitlines()[0] if text else '?'}")
        r = subprocess.run([self.tools["opj_compress"], "-h"], capture_output=True, text=True)
        m = re.search(r"openjp2 library v(\S+?)\.?$", r.stdout + r.stderr, re.M)
        v.append(f"opj_compress: openjp2 {m.group(1) if m else '?'}")
        (self.out / "versions.txt").write_text("\n".join(v) + "\n")


def main():
    a = parse_args()
    bench = Bench(a)
    log(f"programs {bench.progs}; results {bench.out}; scratch {bench.work}")
    log(f"sizes {a.sizes}, {a.runs} runs + 1 warm-up, rate-distortion at 512 and {a.rd_size}")
    try:
        bench.rate_distortion()
        for n in a.sizes:
            bench.speed(n)
        bench.write_results()
    except BaseException:
        print(f"benchmark: the scratch folder {bench.work} is kept for a look", file=sys.stderr)
        raise
    if not a.work and not a.keep_work:
        shutil.rmtree(bench.work, ignore_errors=True)
    log(f"done: {bench.out / 'results.md'}")


def save_json(out, data):
    (out / "results.json").write_text(json.dumps(data, indent=1))


def log(msg):
    print(f"[{datetime.datetime.now():%H:%M:%S}] {msg}", flush=True)


if __name__ == "__main__":
    try:
        main()
    except BenchError as e:
        print(f"benchmark: error: {e}", file=sys.stderr)
        sys.exit(1)
    except KeyboardInterrupt:
        print("benchmark: interrupted", file=sys.stderr)
        sys.exit(130)
