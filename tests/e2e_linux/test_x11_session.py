"""--serve end to end on an X display: the session's methods, its own count of
the clipboard's changes, and the hand-over of what it owns when its input ends."""
import os
import pathlib
import signal
import subprocess
import time
import unittest

from x11_harness import (PEER, SYSTEM_PYTHON, Session, display_environment, file_uri, peer, servers, wait_until, xclip_in,
                         xclip_out)

FILES = ["/tmp/Фото 😀.png", "/tmp/a;;;b c"]


class Serve(unittest.TestCase):
    def session(self):
        """A session that is killed after the test if it failed before ending it,
        so that a failure does not leave a server behind for the next test."""
        session = Session()
        self.addCleanup(lambda: session.process.poll() is None and session.process.kill())
        return session

    def test_methods_changes_and_the_hand_over_at_the_end(self):
        session = self.session()
        watched = session.call("watch", {"enabled": True})["sequence"]
        copied = session.call("copyFiles", {"files": FILES})["sequence"]
        self.assertEqual(copied, watched + 1)
        self.assertEqual(session.notification()["params"], {"sequence": copied, "hasFiles": True})
        self.assertEqual(xclip_out("text/uri-list"), "".join(file_uri(f) + "\r\n" for f in FILES).encode())
        self.assertEqual(session.call("readFiles"), {"effect": "copy", "files": FILES, "sequence": copied})

        # Another program's changes, counted and told with what the new owner offers.
        xclip_in("UTF8_STRING", b"text")
        self.assertEqual(session.notification()["params"], {"sequence": copied + 1, "hasFiles": False})
        self.assertIsNone(session.call("readFiles"))
        xclip_in("x-special/gnome-copied-files", ("cut\n" + file_uri(FILES[0])).encode())
        self.assertEqual(session.notification()["params"], {"sequence": copied + 2, "hasFiles": True})
        self.assertEqual(session.call("readFiles"), {"effect": "move", "files": FILES[:1], "sequence": copied + 2})

        cut = session.call("cutFiles", {"files": FILES[1:]})["sequence"]
        self.assertEqual((cut, session.call("watch", {"enabled": False})["sequence"]), (copied + 3, copied + 3))
        self.assertEqual(session.call("copyFiles", {"files": []})["code"], -32602)
        # The input ends while the session owns the clipboard: a detached child takes it over.
        self.assertEqual(session.close(), (0, b""))
        self.assertEqual(xclip_out("x-special/gnome-copied-files"), ("cut\n" + file_uri(FILES[1])).encode())
        wait_until(lambda: len(servers()) == 1, what="the one server that took over")

    def test_a_copy_made_while_the_session_ends_keeps_the_clipboard(self):
        session = self.session()
        session.call("copyFiles", {"files": FILES})
        # Stopped while it waits in its loop, it finds the newer copy and its end of input at once.
        wait_until(lambda: pathlib.Path(f"/proc/{session.process.pid}/stat").read_text().split()[2] == "S")
        os.kill(session.process.pid, signal.SIGSTOP)
        xclip_in("UTF8_STRING", b"newer")
        session.process.stdin.close()
        os.kill(session.process.pid, signal.SIGCONT)
        self.assertEqual(session.close(), (0, b""))
        self.assertEqual(xclip_out("UTF8_STRING"), b"newer")

    def test_an_ending_signal_hands_the_clipboard_over_as_the_end_of_input_does(self):
        for ending in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=ending.name):
                session = self.session()
                session.call("copyFiles", {"files": FILES[:1]})
                session.process.send_signal(ending)
                self.assertEqual(session.process.wait(timeout=30), 0)
                self.assertEqual(xclip_out("UTF8_STRING"), FILES[0].encode())
                session.close()

    def test_an_owner_that_does_not_answer_delays_no_reply(self):
        session = self.session()
        watched = session.call("watch", {"enabled": True})["sequence"]
        started = time.monotonic()
        with peer("mute"):
            self.assertEqual(session.call("noSuchMethod")["code"], -32601)
            self.assertLess(time.monotonic() - started, 5)
            self.assertEqual(session.notification()["params"], {"sequence": watched + 1, "hasFiles": False})
        session.close()

    def test_a_late_refusal_of_the_probe_is_not_taken_for_a_reads(self):
        session = self.session()
        watched = session.call("watch", {"enabled": True})["sequence"]
        with peer("late", ("text/uri-list", (file_uri(FILES[0]) + "\r\n").encode())):
            self.assertEqual(session.notification()["params"], {"sequence": watched + 1, "hasFiles": False})
            # Asked while the owner still sleeps on the probe, whose refusal comes first.
            self.assertEqual(session.call("readFiles"), {"effect": "copy", "files": FILES[:1], "sequence": watched + 1})
        session.close()

    def test_a_transfer_under_way_when_the_input_ends_is_finished(self):
        paths = [f"/tmp/many/path number {i:06d}" for i in range(100000)]
        session = self.session()
        session.call("copyFiles", {"files": paths})
        reader = subprocess.Popen([SYSTEM_PYTHON, str(PEER), "read-incr", "text/uri-list"], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, env=display_environment())
        self.addCleanup(reader.kill)
        self.assertEqual(reader.stdout.readline(), b"incr\n")
        session.process.stdin.close()
        wait_until(lambda: len(servers()) == 2, what="the server that took over")
        read, _ = reader.communicate(b"go\n", timeout=30)
        self.assertEqual(read, "".join(file_uri(p) + "\r\n" for p in paths).encode())
        self.assertEqual(session.close(), (0, b""))


if __name__ == "__main__":
    unittest.main()
