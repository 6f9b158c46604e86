"""The one-shot options end to end through data-control, on headless sway and
KWin with no DISPLAY, against wl-copy, wl-paste and wl_peer."""
import contextlib
import itertools
import time
import unittest

from wayland_harness import (DONE, LINES, LIST, LOCATION, PATHS, UNANSWERED, URIS, environment, many_paths, offered,
                             offered_types, paste, peer, report, run, servers, wait_until, wl_copy)

BOTH = {name: environment(name) for name in ("sway", "kwin")}
ENV = BOTH["sway"]


class OneShot(unittest.TestCase):
    def test_copies_and_cuts_offer_every_type_byte_exact(self):
        for (compositor, env), (arguments, input, effect) in itertools.product(BOTH.items(), (
                (["--copy_files", ";;;".join(PATHS)], b"", "copy"),
                (["--cut_files", ";;;".join(PATHS)], b"", "cut"),
                (["--copy_files_stdin"], LINES, "copy"),
                (["--cut_files_stdin"], LINES.replace(b"\n", b"\r\n"), "cut"))):
            with self.subTest(compositor=compositor, arguments=arguments[0]):
                self.assertEqual(run(*arguments, input=input, env=env), DONE)
                expected = offered(PATHS, effect)
                self.assertEqual(offered_types(env), sorted(expected))
                for type, data in expected.items():
                    self.assertEqual(paste(env, "-t", type), data, type)

    def test_reads_take_the_list_and_effect_that_other_programs_offer(self):
        foreign = b"# a comment\r\nhttp://host/x\r\nfile://elsewhere/y\r\n"
        kde_cut = lambda env, kde: peer(env, "serve", ("text/uri-list", LIST),  # noqa: E731
                                        ("application/x-kde-cutselection", kde))
        cases = [
            (lambda env: wl_copy(env, "text/uri-list", foreign + LIST), b"copy\n"),
            (lambda env: wl_copy(env, "x-special/gnome-copied-files", b"cut\n" + LIST), b"move\n"),
            (lambda env: wl_copy(env, "x-special/gnome-copied-files", b"copy\n" + LIST), b"copy\n"),
            (lambda env: wl_copy(env, "x-special/mate-copied-files", b"cut\n" + "\n".join(URIS).encode()), b"move\n"),
            (lambda env: kde_cut(env, b"1"), b"move\n"),
            (lambda env: kde_cut(env, b"0"), b"copy\n"),
        ]
        for (compositor, env), (own, effect) in itertools.product(BOTH.items(), cases):
            with self.subTest(compositor=compositor, effect=effect), own(env) or contextlib.nullcontext():
                self.assertEqual(run("--read_files_with_effect", env=env), (0, effect + LINES, b""))
                self.assertEqual(run("--read_files", env=env), (0, LINES, b""))

    def test_text_or_no_selection_is_no_file_list(self):
        # KWin tells a reader nothing of an empty clipboard: the read must not wait for it.
        for compositor, env in BOTH.items():
            with self.subTest(compositor=compositor):
                wl_copy(env, "text/plain;charset=utf-8", b"just text")
                self.assertEqual(run("--read_files_with_effect", env=env), (0, b"none\n", b""))
                self.assertEqual(run("--read_files", env=env),
                                 (101, b"", report(b"the clipboard holds no file list", LOCATION["--read_files"])))
                wl_copy(env, None)
                self.assertEqual(run("--read_files_with_effect", env=env), (0, b"none\n", b""))
                self.assertEqual(run("--read_files", env=env), DONE)

    def test_100000_paths_both_ways(self):
        lines, listed = many_paths()
        self.assertEqual(run("--copy_files_stdin", input=lines, env=ENV), DONE)
        self.assertEqual(paste(ENV, "-t", "text/uri-list"), listed)
        wl_copy(ENV, "text/uri-list", listed)
        self.assertEqual(run("--read_files", env=ENV), (0, lines, b""))

    def test_repeated_copies_leave_one_server_which_ends_when_another_program_takes_the_clipboard(self):
        for path in PATHS * 4:
            self.assertEqual(run("--copy_files", path, env=ENV), DONE)
        wait_until(lambda: len(servers(ENV)) == 1, what=f"one server (now {servers(ENV)})")
        wl_copy(ENV, "text/plain", b"taken")
        wait_until(lambda: not servers(ENV), what="no server")

    def test_an_owner_that_does_not_answer_fails_within_the_deadline(self):
        for mode, option, text in UNANSWERED:
            with self.subTest(mode=mode), peer(ENV, mode, "text/uri-list"):
                started = time.monotonic()
                done = run(option, env=ENV)
                self.assertLess(time.monotonic() - started, 30)  # the 5 s bound, not the 60 s one
                self.assertEqual(done, (101, b"", report(text, LOCATION[option])))


if __name__ == "__main__":
    unittest.main()
