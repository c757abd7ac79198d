#!/usr/bin/env python3
"""The stub under Wine against the floor: a bare Win32 program that writes
the same files (bench/floor/bare_writer.cpp). Both run on the same Wine
prefix and display, taking turns, each into a fresh directory; the stub
with automatic start, overwriting. Whole-process wall times, medians.

    python3 bench/wine_floor.py [--runs N] [--only LABEL...] [--over-existing]

The 32-bit programs run under Wine's 32-bit loader where the host runs
32-bit code, the 64-bit twins under wine64 otherwise (as the end-to-end
tests choose); the first line logged says which.
"""
import argparse
import contextlib
import os
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import corpus  # noqa: E402
import harness  # noqa: E402
from bench import fresh_dir, log  # noqa: E402

# (label, what the table calls it); every archive is extracted whole.
ARCHIVES = [
    ("stored", "mixed corpus, stored"),
    ("deflated", "mixed corpus, deflated"),
    ("small-stored", "20,000 small files, stored"),
    ("source-stored", "source tree, stored"),
    ("source-deflated", "source tree, deflated"),
]
EXTRACT_DIR = "/dev/shm/doromi-floor" if os.path.isdir("/dev/shm") else None
TIMEOUT = 900


def file_members(archive):
    with zipfile.ZipFile(archive) as z:
        return len({i.filename.lower() for i in z.infolist() if not i.is_dir()})


def files_below(root):
    return sum(len(files) for _, _, files in os.walk(root))


def stub_exe(work, archive, target):
    """The combined file with automatic start into `target`, remade each time."""
    exe = os.path.join(work, os.path.basename(archive)[:-len(".zip")] + "-floor-" + harness.ARCH + ".exe")
    harness.doromi_build("--zip", archive, "-o", exe, "--no-size-check", "--auto-start", "--overwrite",
                         "overwrite", "--default-dir", harness.windows_path(target), stdout=subprocess.DEVNULL)
    return exe


def timed(command, env):
    started = time.perf_counter()
    result = subprocess.run(command, env=env, timeout=TIMEOUT, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    return time.perf_counter() - started, result.returncode


def measure(session, work, scratch, archive, runs, over_existing=False):
    """Medians {program: seconds} of the stub and the floor on `archive`;
    every run must write every file, or the measurement stops. With
    `over_existing` every run writes over the tree the runs before left,
    which the stub then replaces file by file."""
    target = os.path.join(scratch, "target")
    floor = os.path.join(harness.PROGRAM_DIR, "bare-writer.exe")
    commands = {
        "stub": [harness.LOADER, stub_exe(work, archive, target)],
        "floor": [harness.LOADER, floor, harness.windows_path(archive), "0", harness.windows_path(target)],
    }
    expected = file_members(archive)
    samples = {name: [] for name in commands}
    fresh_dir(target)
    for run in range(runs + 1):  # the first round warms the caches and is not counted
        order = list(commands) if run % 2 == 0 else list(reversed(commands))
        for name in order:
            if not over_existing:
                fresh_dir(target)
            seconds, status = timed(commands[name], session.env)
            written = files_below(target)
            if status != 0 or written != expected:
                raise RuntimeError(f"{name} on {archive}: exit {status}, {written} of {expected} files")
            if run > 0:
                samples[name].append(seconds)
    shutil.rmtree(target, ignore_errors=True)
    return {name: statistics.median(values) for name, values in samples.items()}


def floor_table(work, scratch, archives, runs, only=None, over_existing=False):
    log(harness.describe_choice())
    if not os.path.isdir(harness.PREFIX):
        log("making a Wine prefix (once)")
        harness.make_prefix()
    with contextlib.redirect_stdout(sys.stderr):  # the session reports its screenshot folder
        session = harness.WineSession("bench")
    into = "over the tree the run before left" if over_existing else "into a fresh directory"
    lines = [f"Programs: {harness.ARCH} under `{harness.LOADER}`; extraction {into} in `{scratch}`; "
             f"medians of {runs} runs after one warm-up round.", "",
             "| archive | files | stub | floor | stub / floor |", "|---|---|---|---|---|"]
    try:
        for label, title in ARCHIVES:
            if only and label not in only:
                continue
            log(f"stub and floor under Wine: {label}")
            result = measure(session, work, scratch, archives[label], runs, over_existing)
            lines.append(f"| {title} | {file_members(archives[label]):,} | {result['stub']:.2f} s | "
                         f"{result['floor']:.2f} s | {result['stub'] / result['floor']:.2f} |")
    finally:
        session.close()
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "bench"))
    parser.add_argument("--extract-dir", default=EXTRACT_DIR)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--only", nargs="*", help="labels of the archives to time (default all)")
    parser.add_argument("--over-existing", action="store_true",
                        help="every run writes over the files the runs before wrote, instead of into a fresh directory")
    args = parser.parse_args()
    scratch = fresh_dir(args.extract_dir or os.path.join(args.work, "scratch"))
    archives = corpus.ensure(args.work, "doromi-bench", log)
    print("\n".join(floor_table(args.work, scratch, archives, args.runs, args.only, args.over_existing)))
    shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
