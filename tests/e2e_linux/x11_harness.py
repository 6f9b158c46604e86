"""What the Linux end-to-end tests share: vantle-native run on the test's X
display with every byte of its output kept, and the peers that stand for the
desktop's other programs (xclip, and x_peer.py, a raw X client)."""
import contextlib
import json
import os
import pathlib
import queue
import subprocess
import threading
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



def offered(paths, effect):
    """Each type a copy ("copy") or a cut ("cut") of `paths` offers, with its bytes."""
    uris = [file_uri(p) for p in paths]
    copied_files = "\n".join([effect, *uris]).encode()
    text = "\n".join(paths).encode()
    return {"text/uri-list": "".join(u + "\r\n" for u in uris).encode(), "x-special/gnome-copied-files": copied_files,
            "x-special/mate-copied-files": copied_files,
            "application/x-kde-cutselection": b"1" if effect == "cut" else b"0",
            "UTF8_STRING": text, "text/plain;charset=utf-8": text}


TARGETS = ["TARGETS", "TIMESTAMP", "MULTIPLE", *offered([], "copy")]


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


def servers(variable="DISPLAY", env=None):
    """The process ids of vantle-native processes alive now on the test's display
    (or the one whose `variable` `env` gives)."""
    display = f"{variable}={(env or display_environment())[variable]}".encode()
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
def peer(mode, *targets, program=(SYSTEM_PYTHON, str(PEER)), env=None):
    """x_peer.py (or another `program` of its interface) owning the clipboard;
    `targets` are names, or (name, bytes)."""
    arguments = [t if isinstance(t, str) else f"{t[0]}={t[1].hex()}" for t in targets]
    process = subprocess.Popen([*program, mode, *arguments], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, env=env or display_environment())
    try:
        assert process.stdout.readline() == b"owned\n", "the peer did not take the clipboard"
        yield
    finally:
        process.kill()
        process.wait(timeout=10)
        process.stdout.close()


class Session:
    """vantle-native --serve, spoken to one JSON-RPC line at a time."""
    def __init__(self, env=None):
        self.process = subprocess.Popen([str(EXE), "--serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, env=env or display_environment())
        self.lines = queue.Queue()
        self.notes = []
        self.next_id = 0
        threading.Thread(target=lambda: [self.lines.put(json.loads(line)) for line in self.process.stdout],
                         daemon=True).start()

    def call(self, method, params=None):
        """The reply to a request; notifications that come first are kept."""
        self.next_id += 1
        request = {"jsonrpc": "2.0", "id": self.next_id, "method": method}
        if params is not None:
            request["params"] = params
        self.process.stdin.write(json.dumps(request).encode() + b"\n")
        self.process.stdin.flush()
        while (message := self.lines.get(timeout=30)).get("id") != self.next_id:
            self.notes.append(message)
        return message.get("result", message.get("error"))

    def notification(self):
        return self.notes.pop(0) if self.notes else self.lines.get(timeout=30)

    def close(self):
        self.process.stdin.close()
        status = self.process.wait(timeout=30)
        with self.process.stdout, self.process.stderr:
            return status, self.process.stderr.read()
