"""What the Linux end-to-end tests share: vantle-native run on the test's X
display with every byte of its output kept, and the peers that stand for the
desktop's other programs (xclip, and x_peer.py, a raw X client). Where an
outcome depends on when a peer acts, the test tells it when (a line on its
standard input) and waits for what it says, never for a span of time."""
import contextlib
import json
import os
import pathlib
import queue
import subprocess
import sys
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
# Far beyond anything a loaded machine takes, short of the suite's own limit.
PATIENCE = 60


def display_environment(display=None):
    env = dict(os.environ)
    env.pop("RUST_BACKTRACE", None)
    env["DISPLAY"] = display or ":" + json.loads((STATE_DIR / "display.json").read_text())["display"]
    return env


def file_uri(path):
    """The URI by RFC 3986, from Python's own encoder: unreserved and / kept."""
    return "file://" + urllib.parse.quote(path, safe="/")


PATHS = ["/tmp/a b.txt", "/tmp/Фото 😀.png", "/tmp/%;,#?[]'"]
URIS = [file_uri(p) for p in PATHS]
LIST = "".join(u + "\r\n" for u in URIS).encode()
LINES = "".join(p + "\n" for p in PATHS).encode()
DONE = (0, b"", b"")
# A peer's modes that never give a whole answer, the option read against each, and its report.
UNANSWERED = (("mute", "--read_files_with_effect", b"the clipboard's owner did not answer within 5 s"),
              ("stall", "--read_files", b"the clipboard's owner stopped in the middle of a transfer (nothing for 5 s)"),
              ("endless", "--read_files", b"the clipboard's data is larger than 256 MiB"))


def many_paths():
    """100,000 paths of sixty characters, as lines and as the URI list that offers them."""
    paths = [f"/tmp/dir/path number {i:06d} with some padding to sixty.txt" for i in range(100000)]
    return "".join(p + "\n" for p in paths).encode(), "".join(file_uri(p) + "\r\n" for p in paths).encode()


def run(*arguments, input=b"", env=None, timeout=PATIENCE):
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
    return subprocess.run(["xclip", "-selection", "clipboard", "-o", "-t", target], capture_output=True,
                          timeout=PATIENCE, env=env or display_environment()).stdout


def wait_until(condition, timeout=PATIENCE, what="the condition"):
    deadline = time.monotonic() + timeout
    while not condition():
        assert time.monotonic() < deadline, f"{what} did not come within {timeout} s"
        time.sleep(0.05)


def clipboard_owner(env=None):
    """The id of the clipboard's owner window (0 for none), asked without asking the owner anything."""
    return int(subprocess.run([SYSTEM_PYTHON, str(PEER), "owner"], capture_output=True, timeout=PATIENCE, check=True,
                              env=env or display_environment()).stdout)


def xclip_in(target, data, env=None):
    """xclip takes the clipboard with `data` as `target` and serves it from the
    background until another program takes it. xclip's own process may exit
    before its background one owns the clipboard, and asking the owner then
    would ask the one before, which may not answer: the owner is watched."""
    env = env or display_environment()
    before = clipboard_owner(env)
    xclip = subprocess.Popen(["xclip", "-selection", "clipboard", "-t", target, "-i"], stdin=subprocess.PIPE,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    xclip.communicate(data, timeout=PATIENCE)
    wait_until(lambda: clipboard_owner(env) not in (before, 0), what=f"xclip owning the clipboard with {target}")
    return contextlib.nullcontext()


def servers(variable="DISPLAY", env=None, ignoring=()):
    """The process ids of vantle-native processes alive now on the test's display
    (or the one whose `variable` `env` gives), but those `ignoring` names
    (another test's may still be ending)."""
    display = f"{variable}={(env or display_environment())[variable]}".encode()
    found = []
    for entry in pathlib.Path("/proc").iterdir():
        with contextlib.suppress(OSError):
            if entry.name.isdigit() and int(entry.name) not in ignoring and os.readlink(entry / "exe") == str(EXE) \
                    and display in (entry / "environ").read_bytes().split(b"\0"):
                found.append(int(entry.name))
    return found


def peer_read(target, *more, mode="read"):
    """The owner's `target` as x_peer.py reads it: type, format, items, and the server's time of the answer;
    with mode "read-multiple", each target's bytes (hex) or None, asked in one MULTIPLE request."""
    return json.loads(subprocess.run([SYSTEM_PYTHON, str(PEER), mode, target, *more], capture_output=True,
                                     timeout=PATIENCE, check=True, env=display_environment()).stdout)


def note(who, what):
    """Standard error, which ctest shows when a test fails, gets every line
    the tests send and their programs say."""
    print(f"{who}: {what[:300]!r}", file=sys.stderr, flush=True)


class Said:
    """The lines a program writes, taken as they come, so that each wait for one has a deadline."""

    def __init__(self, stream, who):
        self.lines, self.who = queue.Queue(), who
        threading.Thread(target=self.take, args=(stream,), daemon=True).start()

    def take(self, stream):
        with stream:
            for line in stream:
                self.lines.put(line)
        self.lines.put(b"")

    def line(self, noted=True):
        try:
            line = self.lines.get(timeout=PATIENCE)
        except queue.Empty:
            raise AssertionError(f"{self.who} said nothing within {PATIENCE} s") from None
        if noted:
            note(self.who, line)
        return line


class Peer:
    """x_peer.py owning the clipboard; told, it holds each request until released."""

    def __init__(self, process):
        self.process, self.said = process, Said(process.stdout, f"peer {process.pid}")

    def expect(self, line):
        said = self.said.line()
        assert said == line, f"the peer said {said!r}, not {line!r}"

    def held(self, target):
        self.expect(f"asked {target}\n".encode())

    def release(self, answer=True):
        """Answers (or refuses) the request it holds; returns once the server has the answer."""
        self.process.stdin.write(b"answer\n" if answer else b"refuse\n")
        self.process.stdin.flush()
        self.expect(b"answered\n")

    def answer(self, target):
        self.held(target)
        self.release()


@contextlib.contextmanager
def peer(mode, *targets, program=(SYSTEM_PYTHON, str(PEER)), env=None):
    """x_peer.py (or another `program` of its interface) owning the clipboard;
    `targets` are names, or (name, bytes)."""
    arguments = [t if isinstance(t, str) else f"{t[0]}={t[1].hex()}" for t in targets]
    process = subprocess.Popen([*program, mode, *arguments], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, env=env or display_environment())
    try:
        owner = Peer(process)
        owner.expect(b"owned\n")
        yield owner
    finally:
        process.kill()
        process.wait(timeout=PATIENCE)
        process.stdin.close()


@contextlib.contextmanager
def paused_incr_read(target):
    """x_peer.py reading the owner's `target` incrementally, paused after its
    first chunk; yields finish(), which lets it go on and gives what it read."""
    process = subprocess.Popen([SYSTEM_PYTHON, str(PEER), "read-incr", target], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, env=display_environment())
    said = Said(process.stdout, f"reader {process.pid}")

    def finish():
        process.stdin.write(b"go\n")
        process.stdin.flush()
        return b"".join(iter(lambda: said.line(noted=False), b""))

    try:
        assert said.line() == b"paused\n", "the reader did not start an incremental read"
        yield finish
    finally:
        process.kill()
        process.wait(timeout=PATIENCE)
        process.stdin.close()


class Session:
    """vantle-native --serve, spoken to one JSON-RPC line at a time."""

    def __init__(self, env=None):
        self.process = subprocess.Popen([str(EXE), "--serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, env=env or display_environment())
        self.said = Said(self.process.stdout, "session")
        self.notes = []
        self.next_id = 0

    @classmethod
    def of(cls, test, env=None):
        """A session that is killed after `test` if it failed before ending it,
        so that a failure does not leave a server behind for the next test."""
        session = cls(env)
        test.addCleanup(lambda: session.process.poll() is None and session.process.kill())
        return session

    def send(self, method, params=None):
        self.next_id += 1
        request = {"jsonrpc": "2.0", "id": self.next_id, "method": method}
        if params is not None:
            request["params"] = params
        line = json.dumps(request).encode()
        note("sent", line)
        self.process.stdin.write(line + b"\n")
        self.process.stdin.flush()
        return self.next_id

    def message(self):
        if line := self.said.line():
            return json.loads(line)
        status = self.process.wait(timeout=PATIENCE)
        raise AssertionError(f"the session ended with {status}: {self.process.stderr.read()[-500:]!r}")

    def reply(self, id):
        """The reply to request `id`; notifications that come first are kept."""
        while (message := self.message()).get("id") != id:
            self.notes.append(message)
        return message.get("result", message.get("error"))

    def call(self, method, params=None):
        return self.reply(self.send(method, params))

    def notification(self):
        return self.notes.pop(0) if self.notes else self.message()

    def close(self):
        self.process.stdin.close()
        status = self.process.wait(timeout=PATIENCE)
        with self.process.stderr:
            return status, self.process.stderr.read()
