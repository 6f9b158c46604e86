#!/usr/bin/env python3
"""Times vantle_native.exe against baselines under Wine, in one session.

For each figure, for the exe and for its baseline, with the ratio
exe/baseline: the median wall time of several runs, measured inside Wine by
clip_helper from CreateProcess to exit (so the runner's own start-up is not
counted), and the median peak resident memory of the Wine process that runs
the program (its whole address space as Linux sees it, Wine's DLLs included).
"""
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
STATE = ROOT / "build" / "bench"
BUILD = ROOT / "build" / "windows"
# Runs per program are taken in this many alternating rounds.
ROUNDS = 5
os.environ["VANTLE_WINE_STATE"] = str(STATE)
os.environ["VANTLE_WINDOWS_BUILD"] = str(BUILD)
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import wine_session  # noqa: E402


def main():
    wine_session.start(STATE)
    try:
        import harness
        wine = harness.Wine()
        rows = measure(wine, harness)
    finally:
        wine_session.stop(STATE)
    print_table(rows)


def timings(wine, harness, exe, arguments, runs):
    """Wall times in milliseconds of `runs` runs of `exe`."""
    line = harness.quote_argument(harness.windows_path(exe)) + "".join(" " + a for a in arguments)
    with tempfile.TemporaryDirectory(dir=harness.WORK) as folder:
        path = pathlib.Path(folder, "line")
        path.write_bytes(line.encode("utf-16-le"))
        done = wine.helper("time", harness.windows_path(exe), harness.windows_path(path), runs, timeout=3600)
    assert done.status == 0, done
    return [int(row) / 1000 for row in done.stdout.decode().split()]


def compare(wine, harness, first, second, runs, rounds=ROUNDS):
    """Median times of two (exe, arguments) pairs, measured in alternating
    rounds so that a slow spell of the machine weighs on both alike."""
    times = ([], [])
    for _ in range(rounds):
        for program, collected in zip((first, second), times):
            collected.extend(timings(wine, harness, *program, runs))
    return statistics.median(times[0]), statistics.median(times[1])


def peak_kib(wine, harness, exe, arguments, runs=5):
    """Median peak resident set of the Wine process that runs `exe`."""
    peaks = []
    for _ in range(runs):
        process = subprocess.Popen([str(harness.WINE_DIR / "wine64"), str(exe), *arguments], env=wine.env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)  # reaped here, not by Popen
        peaks.append(usage.ru_maxrss)
    return statistics.median(peaks)


def measure(wine, harness):
    exe, empty, baseline = harness.EXE, BUILD / "bench_empty.exe", BUILD / "bench_baseline.exe"
    near_limit = ";;;".join(f"C:\\bench\\{i:04d}\\" + "x" * 19 for i in range(900))
    cases = [
        ("start-up (no arguments)", [], empty, [], None, 20),
        ("copy 1 path", ["--copy_files", "C:\\a"], baseline, ["--copy_files", "C:\\a"], None, 20),
        ("copy 900 paths of 32 units", ["--copy_files", near_limit], baseline, ["--copy_files", near_limit],
         None, 20),
    ]
    for count, runs in ((100, 10), (1000, 5), (10000, 1)):
        names = [f"C:\\bench\\{i:05d}\\" + "n" * 45 for i in range(count)]
        cases.append((f"read {count} names of 60 units", ["--read_files"], baseline, ["--read_files"], names, runs))
    rows = []
    for title, arguments, base, base_arguments, names, runs in cases:
        if names is not None:
            wine.put_hdrop(harness.drop_block(names))
        exe_ms, base_ms = compare(wine, harness, (exe, arguments), (base, base_arguments), runs)
        exe_kib, base_kib = peak_kib(wine, harness, exe, arguments), peak_kib(wine, harness, base, base_arguments)
        rows.append((title, runs * ROUNDS, exe_ms, base_ms, base.name, exe_kib, base_kib))
        print(f"measured: {title}", file=sys.stderr)
    return rows


def print_table(rows):
    print(f"| figure | runs | exe ms | baseline ms | ratio | exe peak KiB | baseline peak KiB | ratio |")
    print("|---|---|---|---|---|---|---|---|")
    for title, runs, exe_ms, base_ms, base, exe_kib, base_kib in rows:
        print(f"| {title} (vs {base}) | {runs} | {exe_ms:.1f} | {base_ms:.1f} | {exe_ms / base_ms:.2f} "
              f"| {exe_kib:.0f} | {base_kib:.0f} | {exe_kib / base_kib:.2f} |")
    size = (BUILD / "vantle_native.exe").stat().st_size
    print(f"\nvantle_native.exe (stripped): {size} bytes ({size / 1024:.1f} KiB)")


if __name__ == "__main__":
    main()
