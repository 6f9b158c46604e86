"""What the Linux end-to-end tests share: vantle-native run on the test's X
display with every byte of its output kept, and the peers that stand for the
desktop's other programs (xclip, and x_peer.py, a raw X client)."""
import contextlib
import json
import os
import pathlib
import subprocess
import time
import urllib.parse

STATE_DIR = pathlib.Path(os.environ.get("VANTLE_X11_STATE", "/nonexistent"))
EXE = pathlib.Path(os.environ["VANTLE_LINUX_BUILD"]) / "vantle-native"
PEER = pathlib.Path(__file__).with_name("x_peer.py")
SYSTEM_PYTHON = "/usr/bin/python3"
HINT = b"note: run with `RUST_BACKTRACE=1` environment variable to display a backtrace\n"
# Where each action reports its failures.
LOCATION = {"--copy_files": b"src/main:40:36", "--read_files": b"src/main:44:41",
            "--read_files_with_effect": b"src/main:60:52"}
TARGETS = ["TARGETS", "TIMESTAMP", "MULTIPLE", "text/uri-list", "x-special/gnome-copied-files",
           "x-special/mate-copied-files", "application/x-kde-cutselection", "UTF8_STRING", "text/plain;charset=utf-8"]


def display_environment(display=None):
    env = dict(os.environ)
    env.pop("RUST_BACKTRACE", None)
    env["DISPLAY"] = display or ":" + json.loads((STATE_DIR / "display.json").read_text())["display"]
    return env


def file_uri(path):
    """The URI by RFC 3986, from Python's own encoder: unreserved and / kept."""
    return "file://" + urllib.parse.quote(path, safe="/")


def run(*arguments, input=b"", env=None, timeout=30):
    """(status, stdout, stderr) of the exe, run with pipes for its streams: a
    copy's detached server must not hold them, or this waits for the timeout."""
    done = subprocess.run([str(EXE), *arguments], input=input, capture_output=True, timeout=timeout,
                          env=env or display_environment())
    return done.returncode, done.stdout, done.stderr


def report(text, location):
    escaped = text.replace(b"\\", b"\\\\").replace(b'"', b'\\"').replace(b"'", b"\\'")
    debug = b'Pasteboard("Clipboard error: ' + escaped + b'")'
    return b"thread 'main' panicked at 'called `Result::unwrap()` on an `Err` value: " + debug + b"', " + location + \
        b"\n" + HINT


def xclip_out(target, env=None):
    return subprocess.run(["xclip", "-selection", "clipboard", "-o", "-t", target], capture_output=True, timeout=30,
                          env=env or display_environment()).stdout


def wait_until(condition, timeout=10, what="the condition"):
    deadline = time.monotonic() + timeout
    while not condition():
        assert time.monotonic() < deadline, f"{what} did not come within {timeout} s"
        time.sleep(0.05)


def xclip_in(target, data, env=None):
    """xclip takes the clipboard with `data` as `target` and serves it from the
    background until another program takes it."""
    env = env or display_environment()
    xclip = subprocess.Popen(["xclip", "-selection", "clipboard", "-t", target, "-i"], stdin=subprocess.PIPE,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    xclip.communicate(data, timeout=30)
    wait_until(lambda: target.encode() in xclip_out("TARGETS", env).split(), what=f"xclip serving {target}")
    return contextlib.nullcontext()


def servers():
    """The process ids of vantle-native processes alive now on the test's display."""
    display = b"DISPLAY=" + display_environment()["DISPLAY"].encode()
    found = []
    for entry in pathlib.Path("/proc").iterdir():
        with contextlib.suppress(OSError):
            if entry.name.isdigit() and os.readlink(entry / "exe") == str(EXE) and \
                    display in (entry / "environ").read_bytes().split(b"\0"):
                found.append(int(entry.name))
    return found


def peer_read(target, *more, mode="read"):
    """The owner's `target` as x_peer.py reads it: type, format, items, and the server's time of the answer;
    with mode "read-multiple", each target's bytes (hex) or None, asked in one MULTIPLE request."""
    return json.loads(subprocess.run([SYSTEM_PYTHON, str(PEER), mode, target, *more], capture_output=True, timeout=30,
                                     check=True, env=display_environment()).stdout)


@contextlib.contextmanager
def peer(mode, *targets):
    """x_peer.py owning the clipboard; `targets` are names, or (name, bytes)."""
    arguments = [t if isinstance(t, str) else f"{t[0]}={t[1].hex()}" for t in targets]
    process = subprocess.Popen([SYSTEM_PYTHON, str(PEER), mode, *arguments], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, env=display_environment())
    try:
        assert process.stdout.readline() == b"owned\n", "the peer did not take the clipboard"
        yield
    finally:
        process.kill()
        process.wait(timeout=10)
        process.stdout.close()
