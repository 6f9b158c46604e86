#!/usr/bin/env python3
"""Starts and stops the X display of the Linux end-to-end tests.

  x_display.py start STATE_DIR   Xvfb on a free display (it picks the number
                                 and writes it to a descriptor we give it)
  x_display.py stop STATE_DIR    stops that Xvfb, by its process id

start writes STATE_DIR/display.json for the tests. Every X client of the run
(the copies' detached servers, xclip) ends when the display goes.
"""
import json
import os
import pathlib
import signal
import subprocess
import sys


def start(state_dir):
    state_dir.mkdir(parents=True, exist_ok=True)
    stop(state_dir)
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write_end)
    with os.fdopen(read_end) as displayfd:
        display = displayfd.readline().strip()
    if not display:
        xvfb.kill()
        sys.exit("Xvfb did not start")
    (state_dir / "display.json").write_text(json.dumps({"display": display, "xvfb_pid": xvfb.pid}))
    print(f"X display :{display}")


def stop(state_dir):
    state_file = state_dir / "display.json"
    if not state_file.exists():
        return
    pid = json.loads(state_file.read_text())["xvfb_pid"]
    # Process ids come round again quickly: a file left by an interrupted
    # run may name a process that is no longer our Xvfb.
    try:
        if pathlib.Path(f"/proc/{pid}/cmdline").read_bytes().startswith(b"Xvfb\0"):
            os.kill(pid, signal.SIGTERM)
    except (FileNotFoundError, ProcessLookupError):
        pass
    state_file.unlink()


if __name__ == "__main__":
    command, folder = sys.argv[1], pathlib.Path(sys.argv[2]).resolve()
    {"start": start, "stop": stop}[command](folder)
