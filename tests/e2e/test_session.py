"""--serve end to end: the JSON-RPC session on pipes under Wine."""
import contextlib
import pathlib
import subprocess
import tempfile
import time
import unittest

from harness import UNRENDERED, WORK, Session, Silence, WineTestCase, drop_block, windows_path

MOVE = (2).to_bytes(4, "little")


class Serve(WineTestCase):
    def setUp(self):
        self.session = Session(self.wine)

    def tearDown(self):
        self.session.discard()
        super().tearDown()

    def read_when_free(self):
        """readFiles' result, asked again while the clipboard is busy: Wine's
        desktop holds it open for a moment while it takes an X11 change in.
        It renders an X11 program's list through the X server, which on a
        loaded machine can pass the read's bound of 10 s and end the session:
        a new one asks again."""
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            reply = self.session.call("readFiles")
            if reply.get("error", {}).get("message", "").endswith(UNRENDERED):
                self.session.discard()
                self.session = Session(self.wine)
            elif reply.get("error", {}).get("data") != {"osError": 5}:
                self.assertIn("result", reply, self.session)
                return reply["result"]
            time.sleep(0.1)
        self.fail(f"the clipboard stayed busy or unrendered for two minutes; {self.session!r}")

    def change_until(self, wanted, timeout=60):
        """The first change notification whose params `wanted` takes; any
        that come before it must be changes too, each number once, rising
        (Wine may tell of a change of its own in between)."""
        changes = []
        while not changes or not wanted(changes[-1]):
            message = self.session.receive(timeout)
            self.assertEqual((message or {}).get("method"), "changed", self.session)
            changes.append(message["params"])
        sequences = [change["sequence"] for change in changes]
        self.assertEqual(sequences, sorted(set(sequences)), self.session)
        return changes[-1]

    def x11_copy(self, uri_list):
        """Copies `uri_list` with xclip and gives the change that tells of
        it with a file list. On a loaded machine Wine's desktop can give up
        on xclip's answer and take in nothing (a change without files, then
        none): the copy is then made again."""
        for _ in range(3):
            xclip = subprocess.Popen(["xclip", "-selection", "clipboard", "-t", "text/uri-list", "-i"],
                                     env=self.wine.env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
            self.addCleanup(xclip.kill)
            xclip.communicate(uri_list, timeout=60)
            with contextlib.suppress(Silence):
                return self.change_until(lambda params: params["hasFiles"], timeout=20)
        self.fail(f"no change with files came of three copies by xclip; {self.session!r}")

    def expect_error(self, line, code, id=None):
        self.session.send(line)
        reply = self.session.receive()
        self.assertEqual((reply["jsonrpc"], reply["id"], reply["error"]["code"]), ("2.0", id, code),
                         (line, self.session))
        return reply["error"]

    def test_the_methods(self):
        files = ["Z:\\tmp\\Фото 😀.png", "C:\\a;;;b\\c d", "D:\\文件"]
        copied = self.session.call("copyFiles", {"files": files})
        self.assertEqual(list(copied["result"]), ["sequence"])
        self.assertEqual((self.wine.hdrop(), self.wine.effect()), (drop_block(files), None))
        read = self.session.call("readFiles")["result"]
        self.assertEqual(read, {"effect": "copy", "files": files, "sequence": copied["result"]["sequence"]})

        cut = self.session.call("cutFiles", {"files": files[1:]})["result"]
        self.assertGreater(cut["sequence"], copied["result"]["sequence"])
        self.assertEqual((self.wine.hdrop(), self.wine.effect()), (drop_block(files[1:]), MOVE))
        self.assertEqual(self.session.call("readFiles", {})["result"]["effect"], "move")

        self.wine.put_text("only text")
        self.assertIsNone(self.session.call("readFiles")["result"])
        self.assertEqual(list(self.session.call("watch", {"enabled": False})["result"]), ["sequence"])
        self.assertEqual(self.session.close(), (0, b""))

    def test_errors_answer_the_line_and_the_session_goes_on(self):
        cases = [
            (b"{not json\n", -32700, None),
            (b"[" * 100000 + b"\n", -32700, None),
            (b'{"jsonrpc":"2.0","id":1,"method":"readFiles","x":"\xff"}\n', -32700, None),
            (b"[]\n", -32600, None),
            (b"7\n", -32600, None),
            ({"jsonrpc": "1.0", "id": 2, "method": "readFiles"}, -32600, 2),
            ({"jsonrpc": "2.0", "id": "s", "method": 5}, -32600, "s"),
            ({"jsonrpc": "2.0", "id": {"a": 1}, "method": "readFiles"}, -32600, None),
            ({"jsonrpc": "2.0", "id": 3, "method": "pasteFiles"}, -32601, 3),
            ({"jsonrpc": "2.0", "id": 4, "method": "copyFiles", "params": [["Z:\\a"]]}, -32602, 4),
            ({"jsonrpc": "2.0", "id": 5, "method": "copyFiles"}, -32602, 5),
            ({"jsonrpc": "2.0", "id": 6, "method": "cutFiles", "params": {"files": "Z:\\a"}}, -32602, 6),
            ({"jsonrpc": "2.0", "id": 7, "method": "copyFiles", "params": {"files": []}}, -32602, 7),
            ({"jsonrpc": "2.0", "id": 8, "method": "copyFiles", "params": {"files": ["Z:\\a", 1]}}, -32602, 8),
            ({"jsonrpc": "2.0", "id": 9, "method": "copyFiles", "params": {"files": [""]}}, -32602, 9),
            ({"jsonrpc": "2.0", "id": 10, "method": "copyFiles", "params": {"files": ["a\u0000b"]}}, -32602, 10),
            (b'{"jsonrpc":"2.0","id":11,"method":"copyFiles","params":{"files":["a\\ud800b"]}}\n', -32602, 11),
            (b'{"jsonrpc":"2.0","id":12,"method":"cutFiles","params":{"files":["\\udc00"]}}\n', -32602, 12),
            (b'{"jsonrpc":"2.0","id":"\\udc00","method":"readFiles"}\n', -32600, None),
            (b'{"jsonrpc":"2.0","id":14,"method":"\\ud83d\\ude00\\udc00"}\n', -32601, 14),
            ({"jsonrpc": "2.0", "id": 13, "method": "watch", "params": {"enabled": 1}}, -32602, 13),
        ]
        self.wine.put_hdrop(drop_block(["Z:\\kept"]))
        for line, code, id in cases:
            with self.subTest(line=line):
                self.expect_error(line, code, id)
        self.assertEqual(self.wine.hdrop(), drop_block(["Z:\\kept"]))
        batch = self.expect_error(b'[{"jsonrpc":"2.0","id":1,"method":"readFiles"}]\n', -32600)
        self.assertIn("batches are not supported", batch["message"])

        # A notification gets no reply, not even an error; the next call's is next.
        self.session.send({"jsonrpc": "2.0", "method": "pasteFiles"})
        self.session.send({"jsonrpc": "2.0", "method": "copyFiles", "params": {"files": ["Z:\\by notification"]}})
        self.assertEqual(self.session.call("readFiles")["result"]["files"], ["Z:\\by notification"])

        with self.wine.clipboard_held():
            busy = self.session.call("copyFiles", {"files": ["Z:\\x"]})["error"]
        text = self.wine.system_text(5)
        self.assertEqual(busy, {"code": 1, "message": f"Clipboard error: {text} (os error 5)", "data": {"osError": 5}})

        # A line over 64 MiB is answered once, and not held.
        self.session.send(b'{"jsonrpc":"2.0","id":1,"method":"copyFiles","params":{"files":["' + b"x" * (64 << 20))
        self.expect_error(b'"]}}\n', -32600)
        self.assertEqual(self.session.call("readFiles")["result"]["files"], ["Z:\\by notification"])

    def test_changes_are_notified_once_each_while_watching(self):
        watched = self.session.call("watch", {"enabled": True})["result"]["sequence"]
        self.wine.put_text("another program's text")
        change = self.change_until(lambda params: params["sequence"] > watched)
        self.assertFalse(change["hasFiles"], self.session)
        copied = self.session.call("copyFiles", {"files": ["Z:\\mine"]})["result"]["sequence"]
        own = self.change_until(lambda params: params["sequence"] >= copied)
        self.assertEqual(own, {"sequence": copied, "hasFiles": True}, self.session)

        # An X11 program's change, while the session waits for input.
        with tempfile.TemporaryDirectory(dir=WORK) as folder:
            path = pathlib.Path(folder, "from x11.txt")
            path.write_text("x")
            x11 = self.x11_copy(path.as_uri().encode() + b"\r\n")
            self.assertEqual(self.read_when_free()["files"], [windows_path(path)], self.session)
            # Another program's copy takes the selection: xclip's server ends.
            self.wine.put_text("taken back from xclip")
        self.session.call("watch", {"enabled": False})
        self.assertTrue(change["sequence"] < own["sequence"] < x11["sequence"], self.session)

    def test_replies_keep_the_order_of_their_lines_and_the_end_of_input_ends_it(self):
        lines = b"".join([
            b'{"jsonrpc":"2.0","id":1,"method":"cutFiles","params":{"files":["Z:\\\\one"]}}\r\n',
            b"garbage\n",
            b'\n{"jsonrpc":"2.0","id":2,"method":"readFiles"}\n',
            b'{"jsonrpc":"2.0","id":3,"method":"nothing"}\n',
            b'{"jsonrpc":"2.0","id":4,"method":"readFiles"}',  # the last line needs no break
        ])
        self.session.send(lines)
        self.session.end_input()
        replies = [self.session.receive() for _ in range(5)]
        self.assertEqual([r["id"] for r in replies], [1, None, 2, 3, 4])
        self.assertEqual(replies[2]["result"]["files"], ["Z:\\one"])
        self.assertIsNone(self.session.receive())
        self.assertEqual(self.session.wait(), 0)

    def test_a_read_that_the_owner_never_renders_is_answered_then_the_session_ends(self):
        def read_twice():
            if self.session.process.poll() is not None:  # ended in an attempt made again
                self.session.discard()
                self.session = Session(self.wine)
            # Two reads at once: the first one's thread is stuck with the
            # clipboard open, so the session answers it and nothing more.
            self.session.send(b'{"jsonrpc":"2.0","id":1,"method":"readFiles"}\n'
                              b'{"jsonrpc":"2.0","id":2,"method":"readFiles"}\n')
            first = self.session.receive()
            if "result" in first:  # a list that Wine replaced: both are answered
                return first, self.session.receive(), None, None
            then = self.session.receive()
            return first, then, self.session.close(), self.wine.can_open()

        first, then, ended, free = self.wine.against_hung_owner(read_twice)
        self.assertEqual(first, {"jsonrpc": "2.0", "id": 1, "error": {
            "code": 1, "message": f"Clipboard error: {UNRENDERED}"}}, self.session)
        self.assertIsNone(then, self.session)
        self.assertEqual(ended, (101, self.clipboard_text_report(UNRENDERED, b"src/main:64:32")), self.session)
        self.assertTrue(free, "the clipboard was left open while the owner hangs")
        self.session.discard()
        self.session = Session(self.wine)
        self.assertEqual(self.session.call("copyFiles", {"files": ["Z:\\after"]})["result"].keys(), {"sequence"},
                         self.session)

    def test_a_broken_output_ends_the_session_with_a_failure(self):
        self.session.discard()
        self.session = Session(self.wine, reading=False)
        self.session.send({"jsonrpc": "2.0", "id": 1, "method": "readFiles"})
        self.assertEqual(self.session.wait(), 101)


if __name__ == "__main__":
    unittest.main()
