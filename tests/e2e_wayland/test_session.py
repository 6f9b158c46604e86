"""--serve end to end through data-control, on headless sway and KWin with no
DISPLAY: the session's methods, its changes told with what the new owner
offers, and the hand-over of what it owns when its input ends."""
import subprocess
import unittest

from wayland_harness import (LIST, PATHS, Session, environment, file_uri, offered, paste, peer, servers,
                             wait_until, wl_copy)

FILES = ["/tmp/Фото 😀.png", "/tmp/a;;;b c"]


class Serve(unittest.TestCase):
    def test_methods_changes_and_the_hand_over_at_the_end(self):
        for compositor in ("sway", "kwin"):
            with self.subTest(compositor=compositor):
                env = environment(compositor)
                session = Session.of(self, env)
                watched = session.call("watch", {"enabled": True})["sequence"]
                copied = session.call("copyFiles", {"files": FILES})["sequence"]
                self.assertEqual(copied, watched + 1)
                self.assertEqual(session.notification()["params"], {"sequence": copied, "hasFiles": True})
                self.assertEqual(paste(env, "-t", "text/uri-list"), offered(FILES, "copy")["text/uri-list"])
                self.assertEqual(session.call("readFiles"), {"effect": "copy", "files": FILES, "sequence": copied})

                # Other clients' changes, counted and told with what the new owner offers.
                wl_copy(env, "text/plain;charset=utf-8", b"text")
                self.assertEqual(session.notification()["params"], {"sequence": copied + 1, "hasFiles": False})
                self.assertIsNone(session.call("readFiles"))
                wl_copy(env, "text/uri-list", (file_uri(FILES[0]) + "\r\n").encode())
                self.assertEqual(session.notification()["params"], {"sequence": copied + 2, "hasFiles": True})
                self.assertEqual(session.call("readFiles"),
                                 {"effect": "copy", "files": FILES[:1], "sequence": copied + 2})

                self.assertEqual(session.call("cutFiles", {"files": FILES[1:]})["sequence"], copied + 3)
                # The input ends while the session owns the clipboard: a detached child takes it over.
                self.assertEqual(session.close(), (0, b""))
                gnome = "x-special/gnome-copied-files"
                self.assertEqual(paste(env, "-t", gnome), offered(FILES[1:], "cut")[gnome])
                wait_until(lambda: len(servers(env)) == 1, what="the one server that took over")

    def test_a_read_of_another_owner_holds_up_no_paste_of_the_sessions_list(self):
        env = environment("sway")
        session = Session.of(self, env)
        files = [f"/tmp/paste/{i:06d} padded to a longer name.txt" for i in range(100000)]
        copied = session.call("copyFiles", {"files": files})["sequence"]
        reader = subprocess.Popen(["wl-paste", "-n", "-t", "text/uri-list"], stdout=subprocess.PIPE, env=env)
        self.addCleanup(lambda: reader.poll() is None and reader.kill())
        first = reader.stdout.read(65536)  # the rest waits in the session's transfer
        with peer(env, "told", ("text/uri-list", LIST)) as owner:
            read = session.send("readFiles")
            owner.held("text/uri-list")
            # While the session waits for the other owner's list, its own paste goes on.
            rest = reader.communicate(timeout=60)[0]
            self.assertEqual(first + rest, offered(files, "copy")["text/uri-list"])
            owner.release()
            self.assertEqual(session.reply(read), {"effect": "copy", "files": PATHS, "sequence": copied + 1})


if __name__ == "__main__":
    unittest.main()
