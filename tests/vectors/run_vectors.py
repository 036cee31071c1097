#!/usr/bin/env python3
"""Runs the conformance cases of cases.json through the built programs.

Each case runs in an empty folder of its own: its inputs are copied in, the
program is started under its own name (the usage texts print it), and the
exit status, the whole console text and the SHA-256 of every file the run
left behind must match. With --shard K/N only the cases whose index is K
modulo N run, so that CTest can spread them over the cores.
"""
import argparse
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def run_case(case, programs, work):
    folder = os.path.join(work, case["id"])
    os.mkdir(folder)
    for name, source in case["inputs"].items():
        shutil.copyfile(os.path.join(HERE, source), os.path.join(folder, name))
    binary = programs[case["prog"]]
    result = subprocess.run([case["prog"]] + case["args"], executable=binary, cwd=folder,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    problems = []
    if result.returncode != case["status"]:
        problems.append("status %d, expected %d" % (result.returncode, case["status"]))
    stdout = result.stdout.decode("latin-1")
    if stdout != case["stdout"]:
        problems.append("stdout %r, expected %r" % (stdout, case["stdout"]))
    if result.stderr:
        problems.append("stderr %r" % result.stderr.decode("latin-1"))
    left = sorted(set(os.listdir(folder)) - set(case["inputs"]))
    if left != sorted(case["files"]):
        problems.append("files %s, expected %s" % (left, sorted(case["files"])))
    for name in sorted(set(left) & set(case["files"])):
        with open(os.path.join(folder, name), "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        if digest != case["files"][name]:
            problems.append("%s differs" % name)
    shutil.rmtree(folder)
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tarnpack", required=True)
    parser.add_argument("--tarnunpack", required=True)
    parser.add_argument("--shard", default="0/1")
    args = parser.parse_args()
    index, count = (int(v) for v in args.shard.split("/"))
    with open(os.path.join(HERE, "cases.json")) as f:
        cases = json.load(f)
    programs = {"tarnpack": os.path.abspath(args.tarnpack),
                "tarnunpack": os.path.abspath(args.tarnunpack)}
    failures = 0
    ran = 0
    with tempfile.TemporaryDirectory(prefix="tarn-vectors-") as work:
        for i, case in enumerate(cases):
            if i % count != index:
                continue
            ran += 1
            problems = run_case(case, programs, work)
            if problems:
                failures += 1
                print("FAIL %s: %s %s" % (case["id"], case["prog"], " ".join(case["args"])))
                for p in problems:
                    print("    " + p)
    print("%d of %d cases passed" % (ran - failures, ran))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
