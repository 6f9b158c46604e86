#!/usr/bin/env python3
"""Starts and stops the Wine environment of the end-to-end tests.

  wine_session.py start STATE_DIR [HELPER]
                                    Xvfb on a free display, a private Wine
                                    prefix, a persistent wineserver and, given
                                    the tests' clip_helper.exe, a lasting desktop
  wine_session.py stop STATE_DIR    stops what start started, by process id

The clipboard lives in the wineserver, which would otherwise exit a few
seconds after the last Wine process; Xvfb gives windows (and so clipboard
owners) a display. start writes STATE_DIR/session.json for the tests.

Wine's desktop process exits a second after the last window goes, and each
desktop that starts empties the clipboard and takes in the X selection: a copy
made while it starts could be replaced. A desktop on a real machine lasts as
long as the session, so the tests keep one too: a helper window that lives
until the session stops.
"""
import json
import os
import pathlib
import subprocess
import sys
import time

from xvfb import start_xvfb, stop_xvfb

WINE_DIR = pathlib.Path("/usr/lib/wine")
# Wine's loader now and then fails to start a process at all ("failed to map
# the shared user data", silenced by WINEDEBUG): wine64 exits 1 having written
# nothing. Neither the exe nor the test helper ever exits 1 itself, and a
# process that never started changed nothing, so such a run is started again.
LOADER_FAILED = 1
LOADER_ATTEMPTS = 3


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


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def start_until_released(env, helper, command, ready, release, **popen):
    """Starts `helper COMMAND READY RELEASE`, which lasts until RELEASE exists,
    and waits until it has created READY; a start that Wine's loader failed is
    made again. Gives the process and the number of failed starts, or raises
    RuntimeError if it never got ready."""
    for path in (ready, release):
        path.unlink(missing_ok=True)
    failed = 0
    for _ in range(LOADER_ATTEMPTS):
        process = subprocess.Popen([str(WINE_DIR / "wine64"), str(helper), command, windows_path(ready),
                                    windows_path(release)], env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **popen)
        deadline = time.monotonic() + 120
        while not ready.exists() and process.poll() is None and time.monotonic() < deadline:
            time.sleep(0.05)
        if process.poll() != LOADER_FAILED:
            break
        failed += 1
    if process.poll() is not None or not ready.exists():
        raise RuntimeError(f"{command} did not start: status {process.poll()}, ready file {ready.exists()}")
    return process, failed


def start(state_dir, helper=None):
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
        if helper:  # a window that lasts until the wineserver is stopped, and so the desktop
            start_until_released(env, helper, "window", state_dir / "desktop.ready", state_dir / "desktop.never",
                                 start_new_session=True)
    except (subprocess.SubprocessError, OSError, RuntimeError):
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
    if command == "start":
        start(folder, *sys.argv[3:])
    else:
        stop(folder)
