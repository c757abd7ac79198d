#!/usr/bin/env python3
"""Sizes and build times of `doromi build` at every level against
`zip -9` and `7z a -tzip -mx=9` on one folder. Prints a Markdown table;
asserts nothing.

    bench/build_sizes.py [--corpus DIR] [--out-dir DIR] [--runs N] [--baseline OLD_DOROMI]

Each figure is the median of N runs; within a run every program packs the
folder once, in an order that rotates from run to run. Outputs go to
--out-dir (default /dev/shm, in memory) and are removed before each run.
doromi's sizes are of the whole self-extracting file: the stub and the
settings block (40,704 bytes) included.
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "build", "out")


def commands(corpus, out_dir, doromi, baseline):
    """{label: (output file, command run in the corpus folder)}"""
    def build(tool, *options):
        return [tool, "build", "--no-size-check", "-q", "-o", "{out}", "--stub", os.path.join(OUT, "doromi-sfx.exe"),
                *options, corpus + "/"]
    programs = {"zip -9": ("zip", ["zip", "-9", "-r", "-q", "{out}", "."]),
                "7z -mx=9": ("zip", ["7z", "a", "-tzip", "-mx=9", "-bso0", "-bsp0", "{out}", "."])}
    if baseline:
        programs["doromi before (zlib -9)"] = ("exe", build(baseline))
    for level in range(1, 13):
        programs[f"doromi --level {level}"] = ("exe", build(doromi, "--level", str(level)))
    return {label: (os.path.join(out_dir, f"build-sizes-{n}.{suffix}"), command)
            for n, (label, (suffix, command)) in enumerate(programs.items())}


def measure(output, command, corpus):
    """(size, wall seconds, CPU seconds, peak resident KB) of one run."""
    if os.path.exists(output):
        os.remove(output)  # zip and 7z would add to an archive that exists
    started = time.perf_counter()
    result = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", *[a.replace("{out}", output) for a in command]],
                            cwd=corpus, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=True)
    wall = time.perf_counter() - started
    user, system, peak = result.stderr.decode().split()[-3:]
    return os.path.getsize(output), wall, float(user) + float(system), int(peak)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--corpus", default=os.path.join(ROOT, "build", "bench", "corpus", "mixed"))
    parser.add_argument("--out-dir", default="/dev/shm")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--baseline", help="an older doromi to measure beside this one")
    args = parser.parse_args()
    programs = commands(os.path.abspath(args.corpus), args.out_dir, os.path.join(OUT, "doromi"), args.baseline)
    labels = list(programs)
    samples = {label: [] for label in labels}
    for run in range(args.runs):
        for label in labels[run % len(labels):] + labels[:run % len(labels)]:
            print(f"[build_sizes] run {run + 1}: {label}", file=sys.stderr, flush=True)
            samples[label].append(measure(*programs[label], args.corpus))
    for output, _ in programs.values():
        os.remove(output)
    median = {label: [statistics.median(s[i] for s in samples[label]) for i in range(4)] for label in labels}
    seven, zip9 = median["7z -mx=9"][0], median["zip -9"][0]
    print("| program | bytes | / 7z -mx=9 | / zip -9 | wall time | CPU time | peak memory |")
    print("|---|---|---|---|---|---|---|")
    for label in labels:
        size, wall, cpu, peak = median[label]
        print(f"| {label} | {size:,} | {size / seven:.4f} | {size / zip9:.4f} | {wall:.2f} s | {cpu:.2f} s | "
              f"{peak / 1024:.1f} MB |")


if __name__ == "__main__":
    main()
