#!/usr/bin/env python3
"""Starts and stops the Wine environment of the end-to-end tests.

  wine_session.py start STATE_DIR   Xvfb on a free display, a private Wine
                                    prefix, a persistent wineserver
  wine_session.py stop STATE_DIR    stops what start started, by process id

The clipboard lives in the wineserver, which would otherwise exit a few
seconds after the last Wine process; Xvfb gives windows (and so clipboard
owners) a display. start writes STATE_DIR/session.json for the tests.
"""
import json
import os
import pathlib
import subprocess
import sys

from xvfb import start_xvfb, stop_xvfb

WINE_DIR = pathlib.Path("/usr/lib/wine")


def wine_environment(state_dir, display):
    env = dict(os.environ)
    env.update(
        WINEPREFIX=str(state_dir / "prefix"),
        WINEDEBUG="-all",
        # No Mono or Gecko installer prompts in a fresh prefix.
        WINEDLLOVERRIDES="mscoree,mshtml=",
        DISPLAY=f":{display}",
    )
    return env


def stop_wineserver(env):
    """Ends every Wine process of the prefix and waits until they are gone."""
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([str(WINE_DIR / "wineserver"), "-k"], env=env, **quiet)
    subprocess.run([str(WINE_DIR / "wineserver"), "-w"], env=env, timeout=60, **quiet)


def start(state_dir):
    state_dir.mkdir(parents=True, exist_ok=True)
    stop(state_dir, quiet=True)
    # A server left over from an interrupted run would keep the old clipboard.
    stop_wineserver(wine_environment(state_dir, "0"))
    display, xvfb_pid = start_xvfb()
    # Written first, so that stop finds the Xvfb even if what follows fails.
    (state_dir / "session.json").write_text(json.dumps({"display": display, "xvfb_pid": xvfb_pid}))
    env = wine_environment(state_dir, display)
    (state_dir / "prefix").mkdir(exist_ok=True)
    # Output to /dev/null: Wine's long-lived service processes inherit the
    # standard handles of whoever starts them and would hold a pipe open.
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        subprocess.run([str(WINE_DIR / "wineserver"), "-p"], env=env, check=True, **quiet)
        subprocess.run([str(WINE_DIR / "wine64"), "wineboot", "-i"], env=env, check=True, timeout=300, **quiet)
    except (subprocess.SubprocessError, OSError):
        stop(state_dir, quiet=True)
        raise
    print(f"Wine session on display :{display}, prefix {env['WINEPREFIX']}")


def stop(state_dir, quiet=False):
    state_file = state_dir / "session.json"
    if not state_file.exists():
        return
    state = json.loads(state_file.read_text())
    stop_wineserver(wine_environment(state_dir, state["display"]))
    stop_xvfb(state["xvfb_pid"])
    state_file.unlink()
    if not quiet:
        print("Wine session stopped")


if __name__ == "__main__":
    command, folder = sys.argv[1], pathlib.Path(sys.argv[2]).resolve()
    {"start": start, "stop": stop}[command](folder)
