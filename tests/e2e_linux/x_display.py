#!/usr/bin/env python3
"""Starts and stops the X display of the Linux end-to-end tests.

  x_display.py start STATE_DIR   Xvfb on a free display (it picks the number
                                 and writes it to a descriptor we give it)
  x_display.py stop STATE_DIR    stops that Xvfb, by its process id

start writes STATE_DIR/display.json for the tests. Every X client of the run
(the copies' detached servers, xclip) ends when the display goes.
"""
import json
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "e2e"))

from xvfb import start_xvfb, stop_xvfb  # noqa: E402


def start(state_dir):
    state_dir.mkdir(parents=True, exist_ok=True)
    stop(state_dir)
    display, xvfb_pid = start_xvfb()
    (state_dir / "display.json").write_text(json.dumps({"display": display, "xvfb_pid": xvfb_pid}))
    print(f"X display :{display}")


def stop(state_dir):
    state_file = state_dir / "display.json"
    if not state_file.exists():
        return
    stop_xvfb(json.loads(state_file.read_text())["xvfb_pid"])
    state_file.unlink()


if __name__ == "__main__":
    command, folder = sys.argv[1], pathlib.Path(sys.argv[2]).resolve()
    {"start": start, "stop": stop}[command](folder)
