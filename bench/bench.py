#!/usr/bin/env python3
"""Times vantle_native.exe against baselines under Wine, in one session.

For each figure, for the exe and for its baseline, with the ratio
exe/baseline: the median wall time of several runs, measured inside Wine by
clip_helper from CreateProcess to exit (so the runner's own start-up is not
counted), and the median peak resident memory of the Wine process that runs
the program (its whole address space as Linux sees it, Wine's DLLs included).
Then the session's peak on hostile request lines (bench/session_lines.py).
Then the Node.js package's figures (bench/node_session.js): calls through its
session against a start of the exe per call, change events, long lists and
the helper's memory.

  bench.py        every table
  bench.py node   the Node.js package's tables only
"""
import json
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
NODE_BENCH = ROOT / "bench" / "node_session.js"
os.environ["VANTLE_WINE_STATE"] = str(STATE)
os.environ["VANTLE_WINDOWS_BUILD"] = str(BUILD)
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import session_lines  # noqa: E402
import wine_session  # noqa: E402


def main():
    node_only = sys.argv[1:] == ["node"]
    wine_session.start(STATE, BUILD / "clip_helper.exe")
    try:
        import harness
        wine = harness.Wine()
        if not node_only:
            rows = measure(wine, harness)
            memory_rows = measure_read_memory(wine, harness)
            line_rows = measure_session_lines(wine, harness)
        node_figures = measure_node(wine, harness)
    finally:
        wine_session.stop(STATE)
    if not node_only:
        print_table(rows)
        print_memory_table(memory_rows)
        session_lines.print_table("Wine", line_rows)
    print_node_tables(node_figures)


def timings(wine, harness, exe, arguments, runs, input_path=None):
    """Wall times in milliseconds of `runs` runs of `exe`, with the file
    `input_path` on standard input if given."""
    line = harness.quote_argument(harness.windows_path(exe)) + "".join(" " + a for a in arguments)
    inputs = [] if input_path is None else [harness.windows_path(input_path)]
    with tempfile.TemporaryDirectory(dir=harness.WORK) as folder:
        path = pathlib.Path(folder, "line")
        path.write_bytes(line.encode("utf-16-le"))
        done = wine.helper("time", harness.windows_path(exe), harness.windows_path(path), runs, *inputs,
                           timeout=3600)
    assert done.status == 0, done
    return [int(row) / 1000 for row in done.stdout.decode().split()]


def compare(wine, harness, programs, runs, input_path=None, rounds=ROUNDS):
    """Median times of (exe, arguments) pairs, measured in alternating rounds
    so that a slow spell of the machine weighs on all alike."""
    times = [[] for _ in programs]
    for _ in range(rounds):
        for program, collected in zip(programs, times):
            collected.extend(timings(wine, harness, *program, runs, input_path))
    return [statistics.median(collected) for collected in times]


def peak_kib(wine, harness, exe, arguments, input_path=None, runs=5):
    """Median peak resident set of the Wine process that runs `exe`, as GNU
    time reports it. Not wait4 on a child of this script: a child's peak
    starts at its parent's size at the fork, and this script holds the lists."""
    return statistics.median(measured_run(wine, harness, exe, arguments, input_path)[0] for _ in range(runs))


def measured_run(wine, harness, exe, arguments, input_path=None, output=subprocess.DEVNULL):
    """One run of `exe` under GNU time: (peak KiB, seconds, standard output
    when `output` is a pipe)."""
    peak, seconds, done = session_lines.under_time([str(harness.WINE_DIR / "wine64"), str(exe), *arguments],
                                                   input_path, env=wine.env, stdout=output, stderr=subprocess.DEVNULL)
    return peak, seconds, done.stdout


def measure_session_lines(wine, harness):
    """--serve given one hostile line on standard input, then its end: the
    peak and the time of a run, each the median of three."""
    rows = []
    for title, path, size, reply in session_lines.write_lines(harness.WORK):
        runs = [measured_run(wine, harness, harness.EXE, ["--serve"], path, subprocess.PIPE) for _ in range(3)]
        path.unlink()
        assert all(stdout.startswith(reply) for _, _, stdout in runs), runs[0][2][:200]
        rows.append((title, size, statistics.median(r[0] for r in runs), statistics.median(r[1] for r in runs)))
        print(f"measured: the session given {title}", file=sys.stderr)
    return rows


def names_of_60_units(count):
    return [f"C:\\bench\\{i:06d}\\" + "n" * 44 for i in range(count)]


def measure(wine, harness):
    exe, empty, baseline = harness.EXE, BUILD / "bench_empty.exe", BUILD / "bench_baseline.exe"
    near_limit = ";;;".join(f"C:\\bench\\{i:04d}\\" + "x" * 19 for i in range(900))
    read, read_effect = ["--read_files"], ["--read_files_with_effect"]
    # (title, exe arguments, baseline or None, baseline arguments, names on the clipboard, paths on standard
    # input, runs per round)
    cases = [
        ("start-up (no arguments)", [], empty, [], None, None, 20),
        ("copy 1 path", ["--copy_files", "C:\\a"], baseline, ["--copy_files", "C:\\a"], None, None, 20),
        ("copy 900 paths of 32 units", ["--copy_files", near_limit], baseline, ["--copy_files", near_limit],
         None, None, 20),
    ]
    for count, runs in ((100, 10), (1000, 5), (10000, 1)):
        cases.append((f"read {count} names of 60 units", read, baseline, read, count, None, runs))
    cases += [
        ("read 10000 names of 60 units, --read_files_with_effect", read_effect, baseline, read, 10000, None, 2),
        ("read 100000 names of 60 units, --read_files_with_effect", read_effect, None, [], 100000, None, 4),
        ("copy 100000 paths of 60 units, --copy_files_stdin", ["--copy_files_stdin"], None, [], None, 100000, 4),
        # What the message-only window costs: the same path placed by an
        # option that opens the clipboard with one and by one that opens it
        # without.
        ("copy 1 path with --copy_files_stdin, which opens with a window", ["--copy_files_stdin"], exe,
         ["--copy_files", names_of_60_units(1)[0]], None, 1, 20),
    ]
    rows = []
    for title, arguments, base, base_arguments, names, paths, runs in cases:
        if names is not None:
            wine.put_hdrop(harness.drop_block(names_of_60_units(names)))
        input_path = None
        if paths is not None:
            input_path = harness.WORK / "bench-input.txt"
            input_path.write_text("".join(path + "\r\n" for path in names_of_60_units(paths)), encoding="utf-8")
        programs = [(exe, arguments)] + ([] if base is None else [(base, base_arguments)])
        times = compare(wine, harness, programs, runs, input_path)
        peaks = [peak_kib(wine, harness, *program, input_path) for program in programs]
        rows.append((title, runs * ROUNDS, times, None if base is None else base.name, peaks))
        print(f"measured: {title}", file=sys.stderr)
    return rows


# Shapes of 100,000 names for the read's memory: (title, wide, one name).
READ_SHAPES = [
    ("60 ASCII units", True, lambda i: padded(i, 60)),
    ("20 ASCII units", True, lambda i: padded(i, 20)),
    ("60 CJK units", True, lambda i: "文" * 60),
    ("8 ASCII units", True, lambda i: padded(i, 8)),
    ("3 ASCII units", True, lambda i: padded(i, 3)),
    ("3 ASCII units, narrow", False, lambda i: padded(i, 3)),
    ("60 ASCII units, narrow", False, lambda i: padded(i, 60)),
]
SHAPE_NAMES = 100000


def padded(i, units):
    return (f"C:\\b\\{i:06d}\\" + "n" * units)[:units]


def measure_read_memory(wine, harness):
    """--read_files_with_effect over 100,000 names of each shape: time, peak,
    and the peak above a read of one name of the same shape (which loads the
    same libraries and opens the same window) against the block's size."""
    exe, read_effect = harness.EXE, ["--read_files_with_effect"]
    rows = []
    for title, wide, name in READ_SHAPES:
        wine.put_hdrop(harness.drop_block([name(0)], wide))
        reference = peak_kib(wine, harness, exe, read_effect)
        block = harness.drop_block([name(i) for i in range(SHAPE_NAMES)], wide)
        wine.put_hdrop(block)
        time = compare(wine, harness, [(exe, read_effect)], 4)[0]
        peak = peak_kib(wine, harness, exe, read_effect)
        rows.append((title, len(block) / 1024, time, peak, peak - reference))
        print(f"measured: read of {title}", file=sys.stderr)
    return rows


def print_memory_table(rows):
    print(f"\nRead of {SHAPE_NAMES} names with --read_files_with_effect, by shape:\n")
    print("| names | block KiB | ms | peak KiB | above a one-name read KiB | × block |")
    print("|---|---|---|---|---|---|")
    for title, block, time, peak, above in rows:
        print(f"| {title} | {block:.0f} | {time:.1f} | {peak:.0f} | {above:.0f} | {above / block:.2f} |")


def print_table(rows):
    print(f"| figure | runs | exe ms | baseline ms | ratio | exe peak KiB | baseline peak KiB | ratio |")
    print("|---|---|---|---|---|---|---|---|")
    for title, runs, times, base, peaks in rows:
        if base is None:
            print(f"| {title} | {runs} | {times[0]:.1f} | | | {peaks[0]:.0f} | | |")
            continue
        print(f"| {title} (vs {base}) | {runs} | {times[0]:.1f} | {times[1]:.1f} | {times[0] / times[1]:.2f} "
              f"| {peaks[0]:.0f} | {peaks[1]:.0f} | {peaks[0] / peaks[1]:.2f} |")
    size = (BUILD / "vantle_native.exe").stat().st_size
    print(f"\nvantle_native.exe (stripped): {size} bytes ({size / 1024:.1f} KiB)")
    block = 20 + 100000 * 61 * 2 + 2
    print(f"file-drop block of 100000 paths of 60 units: {block} bytes ({block / 1024:.0f} KiB)")


def measure_node(wine, harness):
    """The Node.js package's figures, measured while the session's desktop
    lasts: a helper that had to start Wine's desktop would hand it its pipes."""
    env = dict(wine.env, VANTLE_WINE=str(harness.WINE_DIR / "wine64"), VANTLE_EXE=str(harness.EXE))
    done = subprocess.run(["node", str(NODE_BENCH)], env=env, stdout=subprocess.PIPE, check=True, timeout=3600)
    print("measured: the Node.js package", file=sys.stderr)
    return json.loads(done.stdout)


def print_node_tables(figures):
    calls, change, large = figures["calls"], figures["change"], figures["large"]
    print("\nThe Node.js package, through its session (median of each call, timed in Node):\n")
    print("| figure | runs | session ms | exe started per call ms | exe / session |")
    print("|---|---|---|---|---|")
    for title, session, exe in (
            ("`copyFiles([one path])`, shared session (vs `--copy_files_stdin`)", "sessionCopy", "exeCopy"),
            ("`readFiles()` of one name, shared session (vs `--read_files_with_effect`)", "sessionRead", "exeRead")):
        print(f"| {title} | {calls[session]['runs']} / {calls[exe]['runs']} | {calls[session]['ms']:.2f} "
              f"| {calls[exe]['ms']:.1f} | {calls[exe]['ms'] / calls[session]['ms']:.0f} |")
    print(f"| another program's change to the `'change'` event | {change['runs']} | {change['ms']:.2f} | | |")
    for title, key in (("copy", "copyMs"), ("read back", "readMs")):
        print(f"| {title} {large['paths']} paths of 60 units | {large['runs']} | {large[key]:.1f} | | |")
    print("\nThe helper's peak resident size (VmHWM of its Wine process):\n")
    print("| calls | peak after the first 100 KiB | after 10000 KiB | growth KiB |")
    print("|---|---|---|---|")
    for row in figures["memory"]:
        first, last = row["peakKib"]["first"], row["peakKib"]["all"]
        print(f"| {row['title']} | {first} | {last} | {last - first} |")


if __name__ == "__main__":
    main()
