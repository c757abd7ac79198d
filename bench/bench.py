#!/usr/bin/env python3
"""Speed benchmark of the extraction: `doromi extract` against `unzip` and
`7z`, the in-memory inflate against zlib's and libdeflate's, the scaling
with the number of members, and the stub under Wine. Prints Markdown
tables; asserts nothing.

    bench/run [--runs N] [--wine-runs N] [--no-wine] [--baseline OLD_DOROMI]

Every figure is the median of N runs; the tools take turns within each run
(the order rotates from run to run), so that a slow moment of the machine
does not fall on one tool only. Wall time is measured around the process;
peak memory is the maximum resident set size that /usr/bin/time reports.
Extraction goes into a fresh directory each time, in memory (/dev/shm) where
the machine has it, so that the figures measure the programs rather than the
disk; the archives are read from the page cache after the first run (warm
cache).
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import corpus  # noqa: E402

OUT = os.path.join(ROOT, "build", "out")
DOROMI = os.path.join(OUT, "doromi")
INFLATE_BENCH = os.path.join(OUT, "inflate-bench")
PASSWORD = "doromi-bench"
TIME = "/usr/bin/time"


def log(message):
    print(f"[bench] {message}", file=sys.stderr, flush=True)


def run_measured(command, cwd=None, env=None):
    """(wall seconds, peak resident KB) of one run; the output is discarded."""
    started = time.perf_counter()
    result = subprocess.run([TIME, "-f", "%M", *command], cwd=cwd, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    wall = time.perf_counter() - started
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(command)} failed: {result.stderr.decode(errors='replace')[-500:]}")
    peak = int(result.stderr.decode().strip().splitlines()[-1])
    return wall, peak


def fresh_dir(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def combined(archive, *options):
    """The self-extracting file made of `archive` (remade when older than it or the stub)."""
    stub = os.path.join(OUT, "doromi-sfx.exe")
    target = archive[:-len(".zip")] + ".exe"
    if (not os.path.exists(target) or os.path.getmtime(target) < os.path.getmtime(archive)
            or os.path.getmtime(target) < os.path.getmtime(stub)):
        subprocess.run([DOROMI, "build", "--stub", stub, "--zip", archive, "-o", target, *options], check=True,
                       stdout=subprocess.DEVNULL)
    return target


def extract_commands(label, archive, exe, target, doromi=DOROMI):
    password = label == "encrypted"
    return {
        "doromi": [doromi, "extract", exe, "-d", target, "--overwrite", "overwrite", "-q",
                   *(["--password", PASSWORD] if password else [])],
        "unzip": ["unzip", "-o", "-q", *(["-P", PASSWORD] if password else []), archive, "-d", target],
        "7z": ["7z", "x", "-y", "-bso0", "-bsp0", *([f"-p{PASSWORD}"] if password else []),
               f"-o{target}", archive],
    }


def measure_tools(scratch, commands_of, runs):
    """Medians per tool: {tool: (wall, peak KB)}; `commands_of(target)`
    gives the commands for an output directory."""
    tools = list(commands_of("x"))
    samples = {tool: [] for tool in tools}
    target = os.path.join(scratch, "extracted")
    for tool in tools:  # warm-up: page cache, directory entries
        run_measured(commands_of(fresh_dir(target))[tool])
    for run in range(runs):
        order = tools[run % len(tools):] + tools[:run % len(tools)]
        for tool in order:
            samples[tool].append(run_measured(commands_of(fresh_dir(target))[tool]))
    shutil.rmtree(target, ignore_errors=True)
    return {tool: (statistics.median(w for w, _ in s), statistics.median(m for _, m in s))
            for tool, s in samples.items()}


def extraction_table(work, scratch, archives, runs):
    lines = ["| archive | size | doromi extract | unzip -o -q | 7z x -y | unzip / doromi | 7z / doromi |",
             "|---|---|---|---|---|---|---|"]
    for label in ("deflated", "stored", "encrypted", "small-files", "source-deflated", "source-stored"):
        archive = archives[label]
        exe = combined(archive, "--no-size-check")
        log(f"extracting {label}")
        result = measure_tools(scratch, lambda t: extract_commands(label, archive, exe, t), runs)
        cells = [f"{result[t][0]:.3f} s, {result[t][1] / 1024:.1f} MB" for t in ("doromi", "unzip", "7z")]
        size = os.path.getsize(archive) / (1 << 20)
        lines.append(f"| {label} | {size:.1f} MB | {' | '.join(cells)} | "
                     f"{result['unzip'][0] / result['doromi'][0]:.2f} | "
                     f"{result['7z'][0] / result['doromi'][0]:.2f} |")
    return lines


def inflate_table(archive, runs):
    log("decoding in memory")
    output = subprocess.run([INFLATE_BENCH, archive, str(runs)], check=True,
                            stdout=subprocess.PIPE).stdout.decode()
    rows = [json.loads(line) for line in output.splitlines() if line.strip()]
    header = rows.pop(0)
    lines = [f"{header['streams']} deflate streams, {header['compressed_mb']} MB in, "
             f"{header['output_mb']} MB out; medians of {runs} runs.", "",
             "| decoder | MB/s of output | vs zlib | vs libdeflate | checks |", "|---|---|---|---|---|"]
    for row in rows:
        # Each inflate row is compared with zlib's and libdeflate's inflate,
        # each CRC row with their CRC-32; the decryption has no reference.
        ratios = [f"{row[key]:.2f}" if key in row else "" for key in ("vs_zlib", "vs_libdeflate")]
        lines.append(f"| {row['name']} | {row['mb_per_s']:.0f} | {' | '.join(ratios)} | "
                     f"{'ok' if row['wrong'] == 0 else 'MISMATCH ' + str(row['wrong'])} |")
    return lines


def scale_table(work, scratch, archives, runs, baseline):
    tools = ["doromi"] + (["baseline"] if baseline else []) + ["unzip"]
    header = "| members | " + " | ".join(
        {"doromi": "doromi extract", "baseline": "before (linear look-up)", "unzip": "unzip -o -q"}[t]
        for t in tools) + " |"
    lines = [header, "|---|" + "---|" * len(tools)]
    for count in (1000, 5000, 20000):
        label = f"members-{count}"
        archive = archives[label]
        exe = combined(archive, "--no-size-check")
        log(f"extracting {label}")

        def commands(target):
            c = extract_commands(label, archive, exe, target)
            chosen = {"doromi": c["doromi"], "unzip": c["unzip"]}
            if baseline:
                chosen["baseline"] = extract_commands(label, archive, exe, target, baseline)["doromi"]
            return chosen
        result = measure_tools(scratch, commands, runs)
        lines.append(f"| {count:,} | " + " | ".join(f"{result[t][0]:.3f} s" for t in tools) + " |")
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "bench"),
                        help="folder for the corpus, the archives and the extraction (default build/bench)")
    parser.add_argument("--extract-dir", default="/dev/shm/doromi-bench" if os.path.isdir("/dev/shm") else None,
                        help="where the tools extract to (default /dev/shm/doromi-bench, else the work folder)")
    parser.add_argument("--runs", type=int, default=5, help="runs per figure (default 5)")
    parser.add_argument("--wine-runs", type=int, default=3, help="runs per figure under Wine (default 3)")
    parser.add_argument("--no-wine", action="store_true", help="leave out the stub under Wine")
    parser.add_argument("--baseline", help="an older doromi to time beside this one in the scaling runs")
    args = parser.parse_args()
    for tool in (DOROMI, INFLATE_BENCH, TIME, shutil.which("unzip"), shutil.which("7z"), shutil.which("zip")):
        if not tool or not os.path.exists(tool):
            sys.exit(f"bench: missing {tool}; run scripts/setup and scripts/build first")
    os.makedirs(args.work, exist_ok=True)
    scratch = args.extract_dir or os.path.join(args.work, "scratch")
    os.makedirs(scratch, exist_ok=True)
    archives = corpus.ensure(args.work, PASSWORD, log)

    print(f"# doromi benchmark ({os.cpu_count()} CPUs, medians of {args.runs} runs)\n")
    print("## Extraction: wall time and peak memory\n")
    print("\n".join(extraction_table(args.work, scratch, archives, args.runs)) + "\n")
    print("## In-memory decoding of the deflated archive's streams\n")
    print("\n".join(inflate_table(archives["deflated"], args.runs)) + "\n")
    print("## Scaling with the number of members (archive order differs from the sorted order)\n")
    print("\n".join(scale_table(args.work, scratch, archives, args.runs, args.baseline)) + "\n")
    if not args.no_wine:
        import wine_floor
        print("## The stub under Wine against a bare writer of the same files\n")
        print("\n".join(wine_floor.floor_table(args.work, scratch, archives, args.wine_runs)) + "\n")
    shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
