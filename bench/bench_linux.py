#!/usr/bin/env python3
"""Times vantle-native on an Xvfb display of its own: a one-shot copy of
100,000 paths, reading 100,000 paths that another program (xclip) serves, and
session calls. Median wall times from the start of the process to its exit
(for calls, from the request's write to the reply's read). Then the session's
peak resident size (GNU time) on hostile request lines (session_lines.py).
Not a test: the numbers depend on the machine; the README keeps the latest
table."""
import json
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
STATE = ROOT / "build" / "bench-linux"
BUILD = ROOT / "build" / "linux"
os.environ["VANTLE_X11_STATE"] = str(STATE)
os.environ["VANTLE_LINUX_BUILD"] = str(BUILD)
sys.path.insert(0, str(ROOT / "tests" / "e2e_linux"))

import session_lines  # noqa: E402
import x_display  # noqa: E402
import x11_harness as x11  # noqa: E402

PATHS = [f"/home/user/projects/bench/folder {i:06d}/file with a name.txt" for i in range(100000)]
LINES = "".join(p + "\n" for p in PATHS).encode()
LISTED = "".join(x11.file_uri(p) + "\r\n" for p in PATHS).encode()
RUNS = 20
CALLS = 500


def wall_ms(arguments, input=b"", env=None):
    started = time.perf_counter()
    status, stdout, _ = x11.run(*arguments, input=input, env=env)
    elapsed = (time.perf_counter() - started) * 1000
    assert status == 0
    return elapsed, stdout


def median_ms(arguments, input=b"", expected=None, env=None):
    times = []
    for _ in range(RUNS):
        elapsed, stdout = wall_ms(arguments, input, env)
        assert expected is None or stdout == expected
        times.append(elapsed)
    return statistics.median(times)


def call_ms(method, params=None, env=None):
    """Median round trip of a session call, after a few to warm up."""
    session = subprocess.Popen([str(x11.EXE), "--serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               env=env or x11.display_environment())
    request = {"jsonrpc": "2.0", "id": 1, "method": method}
    if params is not None:
        request["params"] = params
    line = json.dumps(request).encode() + b"\n"
    times = []
    for _ in range(CALLS):
        started = time.perf_counter()
        session.stdin.write(line)
        session.stdin.flush()
        reply = json.loads(session.stdout.readline())
        times.append((time.perf_counter() - started) * 1000)
        assert "result" in reply, reply
    session.stdin.close()
    session.wait(timeout=30)
    session.stdout.close()
    return statistics.median(times[10:])


def session_line_rows():
    """--serve given one hostile line, then the end of its input; run from /,
    where a relative path grows least when it is made absolute."""
    rows = []
    with tempfile.TemporaryDirectory() as folder:
        for title, path, size, reply in session_lines.write_lines(folder):
            peak, seconds, done = session_lines.under_time([str(x11.EXE), "--serve"], path, stdout=subprocess.PIPE,
                                                           env=x11.display_environment(), cwd="/")
            assert done.stdout.startswith(reply), done.stdout[:200]
            # The list handed to a detached server at the end is taken back.
            x11.run("--copy_files", "/")
            rows.append((title, size, peak, seconds))
    return rows


def main():
    x_display.start(STATE)
    try:
        rows = [
            ("one-shot copy of 100,000 paths (`--copy_files_stdin`), returns", 1000,
             median_ms(["--copy_files_stdin"], LINES)),
        ]
        x11.xclip_in("text/uri-list", LISTED)
        rows.append(("read 100,000 paths served by xclip (`--read_files_with_effect`)", 1000,
                     median_ms(["--read_files_with_effect"], expected=b"copy\n" + LINES)))
        rows.append(("read 100,000 paths served by xclip (`--read_files`)", 1000,
                     median_ms(["--read_files"], expected=LINES)))
        rows.append(("start-up, no arguments", None, median_ms([])))
        rows.append(("session call `copyFiles` of 1 path", 2, call_ms("copyFiles", {"files": ["/tmp/a"]})))
        rows.append(("session call `readFiles` of 1 path that the last copy's detached server serves", 2,
                     call_ms("readFiles")))
        x11.xclip_in("text/uri-list", "".join(x11.file_uri(p) + "\r\n" for p in PATHS[:10]).encode())
        rows.append(("session call `readFiles` of 10 paths served by xclip", 2, call_ms("readFiles")))
        line_rows = session_line_rows()
    finally:
        x_display.stop(STATE)
    print(f"\n| figure | runs | target ms | measured ms |\n|---|---|---|---|")
    for name, target, measured in rows:
        runs = CALLS - 10 if "session" in name else RUNS
        print(f"| {name} | {runs} | {target or ''} | {measured:.2f} |")
    size = (BUILD / "vantle-native").stat().st_size
    print(f"\nvantle-native (stripped): {size} bytes ({size / 1024:.1f} KiB)")
    for library in ("libxcb.so.1", "libxcb-xfixes.so.0"):
        path = pathlib.Path("/usr/lib/x86_64-linux-gnu", library).resolve()
        print(f"{library}: {path.stat().st_size} bytes")
    session_lines.print_table("Linux, Xvfb", line_rows)


if __name__ == "__main__":
    main()
