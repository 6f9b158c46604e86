#!/usr/bin/env python3
"""Times vantle-native through data-control on a headless sway of its own
(DISPLAY unset), against wl-copy and wl-paste doing the same jobs: a copy of
100,000 paths and its paste, a read of 100,000 paths that wl-copy serves, and
session calls. Median wall times from the start of the process to its exit
(for calls, from the request's write to the reply's read). Not a test: the
numbers depend on the machine; the README keeps the latest table."""
import os
import statistics
import subprocess
import sys
import time

import bench_linux as linux

STATE = linux.ROOT / "build" / "bench-wayland"
os.environ["VANTLE_WAYLAND_STATE"] = str(STATE)
sys.path.insert(0, str(linux.ROOT / "tests" / "e2e_wayland"))
import compositor  # noqa: E402
import wayland_harness  # noqa: E402


def command_ms(arguments, input, env, expected=None):
    """Median wall time of a peer's command; wl-copy's background server must
    not hold our pipes, so only what is checked is captured."""
    times = []
    for _ in range(linux.RUNS):
        started = time.perf_counter()
        done = subprocess.run(arguments, input=input, env=env, check=True, timeout=60,
                              stdout=subprocess.PIPE if expected is not None else subprocess.DEVNULL)
        times.append((time.perf_counter() - started) * 1000)
        assert expected is None or done.stdout == expected
    return statistics.median(times)


def main():
    compositor.start("sway", STATE)
    try:
        env = wayland_harness.environment("sway")
        paste = ["wl-paste", "-n", "-t", "text/uri-list"]
        rows = [("copy 100,000 paths, returns", linux.median_ms(["--copy_files_stdin"], linux.LINES, env=env),
                 command_ms(["wl-copy", "-t", "text/uri-list"], linux.LISTED, env))]
        linux.wall_ms(["--copy_files_stdin"], linux.LINES, env)
        served_by_program = command_ms(paste, None, env, linux.LISTED)
        wayland_harness.wl_copy(env, "text/uri-list", linux.LISTED)
        served_by_wl_copy = command_ms(paste, None, env, linux.LISTED)
        rows.append(("`wl-paste` of those 100,000 paths (vantle-native / wl-copy serving)", served_by_program,
                     served_by_wl_copy))
        rows.append(("read 100,000 paths that wl-copy serves (`--read_files_with_effect` / `wl-paste`)",
                     linux.median_ms(["--read_files_with_effect"], expected=b"copy\n" + linux.LINES, env=env),
                     served_by_wl_copy))
        rows.append(("session call `copyFiles` of 1 path", linux.call_ms("copyFiles", {"files": ["/tmp/a"]}, env),
                     None))
        rows.append(("session call `readFiles` of 1 path that the last copy's detached server serves",
                     linux.call_ms("readFiles", env=env), None))
    finally:
        compositor.stop("sway", STATE)
    print("\n| figure (headless sway) | runs | vantle-native ms | wl-copy / wl-paste ms |\n|---|---|---|---|")
    for name, measured, baseline in rows:
        runs = linux.CALLS - 10 if "session" in name else linux.RUNS
        print(f"| {name} | {runs} | {measured:.2f} | {'' if baseline is None else f'{baseline:.2f}'} |")


if __name__ == "__main__":
    main()
