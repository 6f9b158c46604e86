"""What the Wayland end-to-end tests share: the environment of an app on one
of the run's compositors (compositor.py), and the desktop's other programs
there: wl-copy and wl-paste, and wl_peer (a raw data-control client). The
X11 harness's helpers (the run, the reports, the session) serve here too."""
import json
import os
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "e2e_linux"))

import x11_harness  # noqa: E402
# What the tests take from the X11 suite: its helpers, its list of paths and its owners that never answer.
from x11_harness import (DONE, LINES, LIST, LOCATION, PATIENCE, PATHS, UNANSWERED, URIS, Session,  # noqa: E402,F401
                         file_uri, many_paths, offered, report, run, wait_until, xclip_in, xclip_out)

STATE_DIR = pathlib.Path(os.environ.get("VANTLE_WAYLAND_STATE", "/nonexistent"))
PEER = os.environ.get("VANTLE_WAYLAND_PEER", "/nonexistent")


def environment(compositor):
    """A Wayland app's environment there: no DISPLAY on sway and KWin; on
    mutter, its XWayland's display as well, as GNOME gives its apps."""
    state = json.loads((STATE_DIR / f"{compositor}.json").read_text())
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY", "RUST_BACKTRACE")}
    env["WAYLAND_DISPLAY"] = state["wayland_display"]
    if "display" in state:
        env.update(DISPLAY=state["display"], XAUTHORITY=state["xauthority"])
    return env


def paste(env, *arguments, timeout=PATIENCE):
    """What wl-paste printed (-n: no line added), or its failure. On KWin it
    waits for ever while the clipboard is empty: that is an answer too."""
    try:
        done = subprocess.run(["wl-paste", "-n", *arguments], env=env, capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return f"(no answer from wl-paste within {timeout} s)".encode()
    return done.stdout if done.returncode == 0 else done.stderr


def offered_types(env):
    return sorted(paste(env, "--list-types").decode().splitlines())


def wl_copy(env, type, data=b""):
    """wl-copy takes the clipboard with `data` as `type`, and serves it from
    the background until another client takes it; no type: it empties the
    clipboard (which KWin tells no reader of, so that is not waited for)."""
    arguments = ["-t", type] if type else ["--clear"]
    subprocess.run(["wl-copy", *arguments], input=data, env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30, check=True)
    if type:
        # Asked before wl-copy's background process has the clipboard, KWin may find it empty.
        wait_until(lambda: paste(env, "-t", type, timeout=10) == data, what=f"wl-copy serving {type}")


def peer(env, mode, *types):
    """wl_peer owning the clipboard while the context lasts."""
    return x11_harness.peer(mode, *types, program=(PEER,), env=env)


def servers(env):
    """vantle-native processes alive now on that compositor."""
    return x11_harness.servers("WAYLAND_DISPLAY", env)
