"""What the end-to-end tests share: running vantle_native.exe and the
clipboard helper under the Wine session that wine_session.py started, with
every byte of standard output and standard error kept."""
import contextlib
import json
import os
import re
import pathlib
import queue
import subprocess
import tempfile
import threading
import time
import unittest

from wine_session import LOADER_ATTEMPTS, LOADER_FAILED, WINE_DIR, start_until_released, windows_path, wine_environment

STATE_DIR = pathlib.Path(os.environ["VANTLE_WINE_STATE"])
WINDOWS_BUILD = pathlib.Path(os.environ["VANTLE_WINDOWS_BUILD"])
EXE = WINDOWS_BUILD / "vantle_native.exe"
HELPER = WINDOWS_BUILD / "clip_helper.exe"
WORK = STATE_DIR / "work"

REPORT_HINT = b"note: run with `RUST_BACKTRACE=1` environment variable to display a backtrace\n"
UNWRAP = b"called `Result::unwrap()` on an `Err` value: "
CF_HDROP_HEADER = bytes.fromhex("14000000" + "00" * 12 + "01000000")
# The clipboard error of a read whose owner never rendered its list.
UNRENDERED = "the clipboard's owner did not render the list within 10 s"

# The helper's status when CreateProcessW failed: the same failure inside Wine.
HELPER_COULD_NOT_START = 3


def quote_argument(argument):
    """Quotes one argument so that the program-argument rules give it back."""
    if argument and not any(c in argument for c in ' \t"'):
        return argument
    quoted, backslashes = '"', 0
    for c in argument:
        if c == "\\":
            backslashes += 1
            continue
        if c == '"':
            quoted += "\\" * (2 * backslashes + 1) + '"'
        else:
            quoted += "\\" * backslashes + c
        backslashes = 0
    return quoted + "\\" * (2 * backslashes) + '"'


def utf16_units(text):
    """UTF-16 units of `text`; lone surrogates given as '\\ud800' stay single units."""
    data = text.encode("utf-16-le", "surrogatepass")
    return [int.from_bytes(data[i:i + 2], "little") for i in range(0, len(data), 2)]


def drop_block(names, wide=True):
    """A file-drop block as another program would build it; narrow names are
    given as bytes of the code page, or as text that Latin-1 encodes."""
    if wide:
        body = b"".join(name.encode("utf-16-le", "surrogatepass") + b"\0\0" for name in names) + b"\0\0"
        return CF_HDROP_HEADER + body
    header = bytes.fromhex("14000000" + "00" * 16)
    encoded = (name if isinstance(name, bytes) else name.encode("latin-1") for name in names)
    return header + b"".join(name + b"\0" for name in encoded) + b"\0"


class Completed:
    def __init__(self, status, stdout, stderr):
        self.status, self.stdout, self.stderr = status, stdout, stderr

    def __repr__(self):
        return f"status={self.status} stdout={self.stdout!r} stderr={self.stderr!r}"


class Wine:
    def __init__(self):
        state = json.loads((STATE_DIR / "session.json").read_text())
        self.env = wine_environment(STATE_DIR, state["display"])
        self.env.pop("RUST_BACKTRACE", None)
        self.not_started = []  # programs whose start Wine's loader failed, one entry per failure
        WORK.mkdir(parents=True, exist_ok=True)

    def wine(self, *args, timeout=120, input=b""):
        """Runs a Wine program with `input` on its standard input; its streams
        go through files, never pipes. A run that Wine's loader did not start
        is started again."""
        for _ in range(LOADER_ATTEMPTS):
            done = self._wine_once(args, timeout, input)
            if not (done.status == LOADER_FAILED and done.stdout == done.stderr == b""):
                return done
            self.not_started.append(args[0])
        return done

    def _wine_once(self, args, timeout, input):
        with tempfile.TemporaryFile(dir=WORK) as into, tempfile.TemporaryFile(dir=WORK) as out, \
                tempfile.TemporaryFile(dir=WORK) as err:
            into.write(input)
            into.seek(0)
            status = subprocess.run([str(WINE_DIR / "wine64"), *map(str, args)], env=self.env, stdin=into,
                                    stdout=out, stderr=err, timeout=timeout).returncode
            out.seek(0)
            err.seek(0)
            return Completed(status, out.read(), err.read())

    def helper(self, *args, **kwargs):
        return self.wine(HELPER, *args, **kwargs)

    def run_line(self, units, stdout="file", environment=(), timeout=120, exe=EXE):
        """Starts the exe with the command line given as UTF-16 units."""
        with tempfile.TemporaryDirectory(dir=WORK) as folder:
            out_path, err_path = pathlib.Path(folder, "out"), pathlib.Path(folder, "err")
            line_path = pathlib.Path(folder, "line")
            line_path.write_bytes(b"".join(u.to_bytes(2, "little") for u in units))
            out_spec = f"file:{windows_path(out_path)}" if stdout == "file" else stdout
            env_specs = list(environment) or ["-RUST_BACKTRACE"]
            for _ in range(LOADER_ATTEMPTS):
                done = self.helper("run", windows_path(exe), windows_path(line_path), out_spec,
                                   windows_path(err_path), *env_specs, timeout=timeout)
                if done.status != HELPER_COULD_NOT_START:
                    break
                self.not_started.append(exe)
            assert done.status == 0 and done.stdout.startswith(b"exit="), done
            return Completed(int(done.stdout[5:]), out_path.read_bytes() if out_path.exists() else b"",
                             err_path.read_bytes())

    def run(self, *arguments, exe=EXE, **kwargs):
        line = quote_argument(windows_path(exe)) + "".join(" " + quote_argument(a) for a in arguments)
        return self.run_line(utf16_units(line), exe=exe, **kwargs)

    def put_hdrop(self, block, effect=None):
        """Puts `block` on the clipboard, with the bytes `effect` beside it as
        the drop effect if given; an odd length gains a zero byte."""
        with tempfile.TemporaryDirectory(dir=WORK) as folder:
            path = pathlib.Path(folder, "block")
            path.write_bytes(block + b"\0" * (len(block) % 2))
            effect_hex = [] if effect is None else [effect.hex()]
            done = self.helper("put-hdrop", windows_path(path), *effect_hex)
            assert done.status == 0, (block, effect, done)

    def put_text(self, text):
        done = self.helper("put-text", text)
        assert done.status == 0, (text, done)

    def dump(self, what):
        done = self.helper(f"dump-{what}")
        assert done.status == 0, done
        text = done.stdout.strip()
        return None if text == b"none" else bytes.fromhex(text.decode())

    def hdrop(self):
        """The CF_HDROP block's bytes, or None if the clipboard has none."""
        return self.dump("hdrop")

    def effect(self):
        """The drop effect block's bytes, or None if the clipboard has none."""
        return self.dump("effect")

    def run_with_input(self, input, *arguments):
        """Runs the exe through Wine's loader with `input` on standard input."""
        return self.wine(EXE, *arguments, input=input)

    def can_open(self):
        return self.helper("can-open").status == 0

    def system_text(self, code):
        """The platform's message for `code`, trailing white space removed."""
        done = self.helper("format-message", code)
        assert done.status == 0, done
        return done.stdout.decode("utf-8").rstrip()

    @contextlib.contextmanager
    def helper_until_released(self, command):
        """Runs a helper command that lasts until its release file exists
        (it is given its ready file, then its release file); yields once it
        has created its ready file."""
        ready, release = WORK / f"{command}.ready", WORK / f"{command}.release"
        process, failed = start_until_released(self.env, HELPER, command, ready, release)
        self.not_started += [HELPER] * failed
        try:
            yield
        finally:
            release.touch()
            process.wait(timeout=60)

    def clipboard_held(self):
        """Another process holds the clipboard open with its own window."""
        return self.helper_until_released("hold")

    @contextlib.contextmanager
    def hung_owner(self):
        """Another process owns the clipboard, announces a file list that it
        renders on demand, and never renders it: it takes no message. Yields
        once an open of the clipboard with a window has gone through: under
        Wine the first opens after such an owner's change wait 5 s for Wine's
        desktop and can then be refused (os error 5)."""
        with self.helper_until_released("hung-owner"):
            deadline = time.monotonic() + 120
            while self.helper("hold-for", "0").status != 0:
                assert time.monotonic() < deadline, "the clipboard stayed refused after the hung owner took it"
            yield

    def state(self):
        """The clipboard's sequence number, and whether it announces a file
        list (asked without rendering anything)."""
        done = self.helper("state")
        assert done.status == 0, done
        sequence, announced = done.stdout.split()
        return int(sequence), announced == b"1"

    def against_hung_owner(self, attempt):
        """What attempt() gives while a hung owner's list is on the clipboard.
        Wine's desktop now and then replaces the clipboard's content on its
        own soon after a window of a Wine program comes or goes (seen on a
        loaded machine): an attempt before or during which the list was
        replaced is made again."""
        for _ in range(3):
            with self.hung_owner():
                announced = self.state()
                if not announced[1]:
                    continue
                result = attempt()
                if self.state() == announced:
                    return result
        raise AssertionError("Wine's desktop replaced the hung owner's list three times")


class WineTestCase(unittest.TestCase):
    """Every test leaves the clipboard free for others to open."""

    @classmethod
    def setUpClass(cls):
        cls.wine = Wine()

    def tearDown(self):
        self.assertTrue(self.wine.can_open(), "the clipboard was left open")

    def report(self, message, location):
        return b"thread 'main' panicked at '" + message + b"', " + location + b"\n"

    def clipboard_report(self, code, location):
        return self.clipboard_text_report(f"{self.wine.system_text(code)} (os error {code})", location)

    def clipboard_text_report(self, detail, location):
        """The report of the clipboard error "Clipboard error: DETAIL"."""
        escaped = detail.replace("\\", "\\\\").replace('"', '\\"').replace("'", "\\'")
        debug = f'Pasteboard("Clipboard error: {escaped}")'.encode()
        return self.report(UNWRAP + debug, location) + REPORT_HINT

    def assert_clipboard_failure(self, done, location):
        """Status 101 and exactly the report of a clipboard error, whose code
        the platform chose; gives that code."""
        self.assertEqual(done.status, 101, done)
        found = re.search(rb"\(os error (-?\d+)\)", done.stderr)
        self.assertIsNotNone(found, done)
        code = int(found.group(1))
        self.assertEqual(done.stderr, self.clipboard_report(code, location))
        return code


class Silence(AssertionError):
    """Nothing came from a session in the time given."""


class Session:
    """vantle_native.exe --serve under Wine with its standard streams on
    pipes: requests written a line at a time, replies and notifications read
    as they come. Start it while Wine's desktop is up (the session keeps one),
    or a Wine service started by it would hold the pipes. A session that Wine's
    loader never started is started again and given what was sent to it."""

    def __init__(self, wine, reading=True):
        """With reading False, nothing reads the replies: their pipe is closed."""
        self.wine, self.reading = wine, reading
        self.sent, self.input_ended, self.heard = b"", False, False
        self.received = []  # every message heard, in order
        self.next_id, self.starts = 0, 0
        self._start()

    def _start(self):
        self.starts += 1
        self.err = tempfile.TemporaryFile(dir=WORK)
        self.process = subprocess.Popen([str(WINE_DIR / "wine64"), str(EXE), "--serve"], env=self.wine.env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.err)
        self.lines = queue.Queue()
        if self.reading:
            threading.Thread(target=self._read, args=(self.process.stdout, self.lines), daemon=True).start()
        else:
            self.process.stdout.close()
        with contextlib.suppress(BrokenPipeError):
            if self.sent:
                self.process.stdin.write(self.sent)
                self.process.stdin.flush()
            if self.input_ended:
                self.process.stdin.close()

    @staticmethod
    def _read(stream, lines):
        for line in stream:
            lines.put(line)
        lines.put(None)

    def _started_again(self):
        """Starts the exe again if Wine's loader never started it: it ended
        with the loader's status having said nothing."""
        never_started = not self.heard and self.process.wait(timeout=30) == LOADER_FAILED \
            and self.err.seek(0, os.SEEK_END) == 0
        if not never_started or self.starts >= LOADER_ATTEMPTS:
            return False
        self.wine.not_started.append(EXE)
        for stream in (self.process.stdin, self.process.stdout, self.err):
            with contextlib.suppress(OSError):
                stream.close()
        self._start()
        return True

    def send(self, line):
        line = line if isinstance(line, bytes) else json.dumps(line).encode() + b"\n"
        self.sent += line
        try:
            self.process.stdin.write(line)
            self.process.stdin.flush()
        except BrokenPipeError:
            if not self._started_again():
                raise

    def __repr__(self):
        """What a failure prints: what was sent and what came back."""
        sent = self.sent if len(self.sent) < 4096 else self.sent[:2048] + b"..." + self.sent[-2048:]
        return f"session sent {sent!r}; received {self.received!r}"

    def receive(self, timeout=60):
        """The next line from the exe, decoded (it must be UTF-8), or None at its end."""
        try:
            line = self.lines.get(timeout=timeout)
        except queue.Empty:
            raise Silence(f"nothing came within {timeout} s; {self!r}") from None
        if line is None and self._started_again():
            return self.receive(timeout)
        assert line is None or line.endswith(b"\n"), (line, self)
        self.heard = self.heard or line is not None
        message = None if line is None else json.loads(line.decode())
        self.received.append(message)
        return message

    def call(self, method, params=None):
        """Sends a request and gives its reply; notifications that come first
        are skipped (they stay in `received`)."""
        self.next_id += 1
        request = {"jsonrpc": "2.0", "id": self.next_id, "method": method}
        if params is not None:
            request["params"] = params
        self.send(request)
        while True:
            message = self.receive()
            assert message is not None, f"the session ended before it answered; {self!r}"
            if message.get("id") == self.next_id:
                return message

    def end_input(self):
        self.input_ended = True
        self.process.stdin.close()

    def wait(self, timeout=60):
        status = self.process.wait(timeout=timeout)
        return self.wait(timeout) if self._started_again() else status

    def discard(self):
        """Closes it if it still runs, and lets go of its streams."""
        if self.process.poll() is None:
            self.close()
        for stream in (self.process.stdin, self.process.stdout, self.err):
            with contextlib.suppress(OSError):
                stream.close()

    def close(self, timeout=60):
        """Ends the input and gives the exit status and standard error."""
        self.end_input()
        status = self.wait(timeout)
        if self.reading:
            self.process.stdout.close()
        self.err.seek(0)
        return status, self.err.read()
