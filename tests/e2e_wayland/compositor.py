#!/usr/bin/env python3
"""Starts and stops a headless Wayland compositor for the end-to-end tests.

  compositor.py start NAME STATE_DIR   sway, kwin or mutter, as an ordinary user
  compositor.py stop NAME STATE_DIR    stops it: its process group, by its id

start writes STATE_DIR/NAME.json: the compositor's process id, its runtime
directory (private, mode 0700, owned by the user it runs as), the absolute
path of its socket and, for mutter, its XWayland display and Xauthority file.
The compositors refuse to run as root (sway), so a root run (CI) starts them
as the user `vantle-desktop`, created if missing. KWin's binary carries a file
capability that exec refuses here: a plain copy runs, still named
`kwin_wayland` (its Qt platform plugin goes by that name).
"""
import json
import os
import pathlib
import pwd
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

USER = "vantle-desktop"
SOCKET = "wayland-0"
READY_SECONDS = 90


def command(name, runtime):
    """The compositor's command line and its own environment variables."""
    if name == "sway":
        (runtime / "config").write_text("xwayland disable\n")
        return ["sway", "-c", str(runtime / "config")], {
            "WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman"}
    if name == "kwin":
        shutil.copy("/usr/bin/kwin_wayland", runtime / "kwin_wayland")
        return ["dbus-run-session", "--", str(runtime / "kwin_wayland"), "--virtual", "--socket", SOCKET,
                "--width", "1280", "--height", "800"], {}
    return ["dbus-run-session", "--", "mutter", "--wayland", "--headless", "--virtual-monitor", "1280x800",
            f"--wayland-display={SOCKET}"], {}


def account():
    """(uid, gid) to run as: the test user when we are root, else ourselves."""
    if os.geteuid() != 0:
        return os.getuid(), os.getgid()
    try:
        entry = pwd.getpwnam(USER)
    except KeyError:
        # Two runs may create it at once: one of them is told it exists.
        subprocess.run(["useradd", "--system", "--user-group", "--no-create-home", "--shell", "/usr/sbin/nologin",
                        USER], capture_output=True)
        entry = pwd.getpwnam(USER)
    return entry.pw_uid, entry.pw_gid


def wait_for(condition, what, log):
    deadline = time.monotonic() + READY_SECONDS
    while not (found := condition()):
        if time.monotonic() > deadline:
            sys.exit(f"{what} did not come within {READY_SECONDS} s; the compositor's log:\n{log.read_text()}")
        time.sleep(0.1)
    return found


def answer(arguments, env):
    """What a client printed, if its call came back (any status) within a bound.
    Its output goes to a file: wl-copy leaves a server behind that keeps it."""
    try:
        with tempfile.TemporaryFile() as output:
            subprocess.run(arguments, env=env, input=b"ready", stdout=output, stderr=output, timeout=10)
            output.seek(0)
            return output.read()
    except subprocess.TimeoutExpired:
        return None


def ready(name, runtime, log):
    """Waits until clients are served; gives what the tests need."""
    sockets = lambda: sorted(p for p in runtime.glob("wayland-*") if p.is_socket())  # noqa: E731
    state = {"wayland_display": str(wait_for(sockets, "the compositor's socket", log)[0])}
    env = {"PATH": os.environ["PATH"], "WAYLAND_DISPLAY": state["wayland_display"]}
    if name == "mutter":
        state["display"] = wait_for(lambda: re.search(r"Using public X11 display (:\d+)", log.read_text()),
                                    "XWayland", log)[1]
        state["xauthority"] = str(next(runtime.glob(".mutter-Xwaylandauth.*")))
        env.update(DISPLAY=state["display"], XAUTHORITY=state["xauthority"])
        wait_for(lambda: answer(["xclip", "-selection", "clipboard", "-o", "-t", "TARGETS"], env) is not None,
                 "an answer on XWayland", log)
    else:
        # KWin tells a new client nothing while the clipboard is empty (a read
        # would wait for ever): what is asked for is a list put there, then
        # the clipboard is emptied for the tests.
        wait_for(lambda: answer(["wl-copy", "-t", "vantle/ready"], env) is not None and
                 answer(["wl-paste", "--list-types"], env) == b"vantle/ready\n", "an answer on data-control", log)
        answer(["wl-copy", "--clear"], env)
    return state


def start(name, state_dir):
    state_dir.mkdir(parents=True, exist_ok=True)
    stop(name, state_dir)
    uid, gid = account()
    runtime = pathlib.Path(tempfile.mkdtemp(prefix=f"vantle-{name}-"))
    os.chown(runtime, uid, gid)
    arguments, extra = command(name, runtime)
    env = {"PATH": os.environ["PATH"], "HOME": str(runtime), "XDG_RUNTIME_DIR": str(runtime), **extra}
    log = runtime / "log"
    with log.open("wb") as output:
        process = subprocess.Popen(arguments, env=env, user=uid, group=gid, extra_groups=[], cwd=runtime,
                                   stdin=subprocess.DEVNULL, stdout=output, stderr=output, start_new_session=True)
    state = {"pid": process.pid, "command": arguments[0], "runtime_dir": str(runtime)}
    (state_dir / f"{name}.json").write_text(json.dumps(state))
    state.update(ready(name, runtime, log))
    (state_dir / f"{name}.json").write_text(json.dumps(state))
    print(f"{name}: {state}")


def group_alive(pid):
    """Whether the process group `pid` leads still has a living member."""
    for entry in pathlib.Path("/proc").iterdir():
        try:
            fields = (entry / "stat").read_text().rsplit(")", 1)[1].split()
        except (OSError, IndexError):
            continue
        if fields[2] == str(pid) and fields[0] != "Z":
            return True
    return False


def stop(name, state_dir):
    state_file = state_dir / f"{name}.json"
    if not state_file.exists():
        return
    state = json.loads(state_file.read_text())
    try:
        # Only while that id is still the compositor we started: ids come round again.
        if pathlib.Path(f"/proc/{state['pid']}/cmdline").read_bytes().split(b"\0")[0] == state["command"].encode():
            os.killpg(state["pid"], signal.SIGTERM)
            deadline = time.monotonic() + 20
            while group_alive(state["pid"]) and time.monotonic() < deadline:
                time.sleep(0.1)
            if group_alive(state["pid"]):
                os.killpg(state["pid"], signal.SIGKILL)
    except (FileNotFoundError, ProcessLookupError):
        pass
    shutil.rmtree(state["runtime_dir"], ignore_errors=True)
    state_file.unlink()


if __name__ == "__main__":
    action, which, folder = sys.argv[1], sys.argv[2], pathlib.Path(sys.argv[3]).resolve()
    {"start": start, "stop": stop}[action](which, folder)
