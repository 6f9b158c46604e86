"""--serve end to end on an X display: the session's methods, its own count of
the clipboard's changes, and the hand-over of what it owns when its input ends."""
import os
import pathlib
import signal
import unittest

from x11_harness import (PATIENCE, Session, clipboard_owner, file_uri, paused_incr_read, peer, servers, wait_until,
                         xclip_in, xclip_out)

FILES = ["/tmp/Фото 😀.png", "/tmp/a;;;b c"]
LIST = "".join(file_uri(f) + "\r\n" for f in FILES).encode()


class Serve(unittest.TestCase):
    def test_methods_changes_and_the_hand_over_at_the_end(self):
        present = set(servers())
        session = Session.of(self)
        watched = session.call("watch", {"enabled": True})["sequence"]
        copied = session.call("copyFiles", {"files": FILES})["sequence"]
        self.assertEqual(copied, watched + 1)
        self.assertEqual(session.notification()["params"], {"sequence": copied, "hasFiles": True})
        self.assertEqual(xclip_out("text/uri-list"), LIST)
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
        wait_until(lambda: len(servers(ignoring=present)) == 1, what="the one server that took over")

    def test_a_copy_made_while_the_session_ends_keeps_the_clipboard(self):
        session = Session.of(self)
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
                session = Session.of(self)
                session.call("copyFiles", {"files": FILES[:1]})
                session.process.send_signal(ending)
                self.assertEqual(session.process.wait(timeout=PATIENCE), 0)
                self.assertEqual(xclip_out("UTF8_STRING"), FILES[0].encode())
                session.close()

    def test_an_owner_holding_the_probe_delays_no_reply_and_its_late_refusal_is_no_reads(self):
        session = Session.of(self)
        watched = session.call("watch", {"enabled": True})["sequence"]
        with peer("told", ("text/uri-list", LIST)) as owner:
            owner.held("TARGETS")
            # Answered while the owner still holds the probe.
            self.assertEqual(session.call("noSuchMethod")["code"], -32601)
            self.assertEqual(session.notification()["params"], {"sequence": watched + 1, "hasFiles": False})
            read = session.send("readFiles")
            owner.release(answer=False)
            owner.answer("TARGETS")
            owner.answer("text/uri-list")
            self.assertEqual(session.reply(read), {"effect": "copy", "files": FILES, "sequence": watched + 1})
        self.assertEqual(session.close(), (0, b""))

    def test_an_answer_that_comes_after_its_read_gave_up_is_never_a_later_reads(self):
        session = Session.of(self)
        with peer("told", ("text/uri-list", LIST)) as late:
            gave_up = session.send("readFiles")
            late.answer("TARGETS")
            late.held("text/uri-list")
            self.assertEqual(session.reply(gave_up)["message"],
                             "Clipboard error: the clipboard's owner did not answer within 5 s")
            current_list = (file_uri(FILES[1]) + "\r\n").encode()
            with peer("told", ("text/uri-list", current_list)) as current:
                sequence = session.call("watch", {"enabled": False})["sequence"]
                read = session.send("readFiles")
                current.answer("TARGETS")
                current.held("text/uri-list")
                late.release()
                current.release()
                self.assertEqual(session.reply(read), {"effect": "copy", "files": FILES[1:], "sequence": sequence})
        self.assertEqual(session.close(), (0, b""))

    def test_a_paste_under_way_ends_whole_through_a_new_copy_or_a_lost_clipboard_and_the_end_of_input(self):
        paths = [f"/tmp/many/path number {i:06d}" for i in range(20000)]
        listed = "".join(file_uri(p) + "\r\n" for p in paths).encode()
        for change, target, data, still_owned in (
                (lambda: session.call("copyFiles", {"files": FILES}), "text/uri-list", LIST, True),
                (lambda: xclip_in("UTF8_STRING", b"text"), "UTF8_STRING", b"text", False)):
            with self.subTest(target=target):
                session = Session.of(self)
                session.call("copyFiles", {"files": paths})
                window = clipboard_owner()
                with paused_incr_read("text/uri-list") as finish:
                    change()
                    self.assertEqual(xclip_out(target), data)
                    self.assertEqual(clipboard_owner() == window, still_owned)
                    session.process.stdin.close()
                    if still_owned:  # handed over
                        wait_until(lambda: clipboard_owner() != window, what="another window owning the clipboard")
                    read = finish()
                self.assertTrue(read == listed, f"the reader got {len(read)} bytes of {len(listed)}")
                self.assertEqual(session.close(), (0, b""))
                self.assertEqual(xclip_out(target), data)


if __name__ == "__main__":
    unittest.main()
