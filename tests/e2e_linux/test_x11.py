"""The one-shot options end to end on an X display, against xclip and a raw X client."""
import subprocess
import tempfile
import time
import unittest

from x11_harness import (DONE, EXE, LINES, LIST, LOCATION, PATIENCE, PATHS, TARGETS, UNANSWERED, URIS,
                         display_environment, many_paths, offered, peer, peer_read, report, run, servers, wait_until,
                         xclip_in, xclip_out)


class OneShot(unittest.TestCase):
    def test_copies_and_cuts_offer_every_target_byte_exact(self):
        for arguments, input, word, kde in ((["--copy_files", ";;;".join(PATHS)], b"", "copy", b"0"),
                                            (["--cut_files", ";;;".join(PATHS)], b"", "cut", b"1"),
                                            (["--copy_files_stdin"], LINES, "copy", b"0"),
                                            (["--cut_files_stdin"], LINES.replace(b"\n", b"\r\n"), "cut", b"1")):
            with self.subTest(arguments=arguments[0]):
                self.assertEqual(run(*arguments, input=input), DONE)
                self.assertEqual(sorted(xclip_out("TARGETS").split()), sorted(t.encode() for t in TARGETS))
                for target, data in offered(PATHS, word).items():
                    self.assertEqual(xclip_out(target), data, target)
                # One MULTIPLE request: every target as alone, None for the refused ones.
                asked = ["application/x-kde-cutselection", "image/png", "text/uri-list", "MULTIPLE"]
                self.assertEqual(peer_read(*asked, mode="read-multiple"), [kde.hex(), None, LIST.hex(), None])

    def test_reads_take_the_list_and_effect_that_other_programs_offer(self):
        foreign = b"# a comment\r\nhttp://host/x\r\nfile://elsewhere/y\r\nfile:///%FF\r\n"
        cases = [
            (lambda: xclip_in("text/uri-list", foreign + LIST.replace(b"\r\n", b"\n")), b"copy\n"),
            (lambda: xclip_in("x-special/gnome-copied-files", b"cut\n" + LIST), b"move\n"),
            (lambda: xclip_in("x-special/gnome-copied-files", b"copy\n" + LIST), b"copy\n"),
            # A file manager that ends its data with a NUL, and MATE's own target.
            (lambda: xclip_in("x-special/gnome-copied-files", b"cut\n" + "\n".join(URIS).encode() + b"\0"), b"move\n"),
            (lambda: xclip_in("text/uri-list", "\n".join(URIS).encode() + b"\0"), b"copy\n"),
            (lambda: xclip_in("x-special/mate-copied-files", b"cut\n" + LIST), b"move\n"),
            (lambda: peer("serve", ("x-special/mate-copied-files", b"cut\n" + LIST), ("text/uri-list", LIST)),
             b"move\n"),
            (lambda: peer("serve", ("text/uri-list", LIST), ("application/x-kde-cutselection", b"1")), b"move\n"),
            (lambda: peer("serve", ("text/uri-list", LIST), ("application/x-kde-cutselection", b"0")), b"copy\n"),
        ]
        for owner, effect in cases:
            with self.subTest(effect=effect), owner():
                self.assertEqual(run("--read_files_with_effect"), (0, effect + LINES, b""))
                self.assertEqual(run("--read_files"), (0, LINES, b""))

    def test_a_name_holding_a_line_break_is_left_out(self):
        xclip_in("text/uri-list", b"file:///tmp/one%0A/etc/passwd\r\nfile:///tmp/two%0D\r\nfile:///tmp/kept\r\n")
        self.assertEqual(run("--read_files"), (0, b"/tmp/kept\n", b""))

    def test_timestamp_is_the_32_bit_time_the_selection_was_taken(self):
        times = []
        for path in PATHS[:2]:
            self.assertEqual(run("--copy_files", path), DONE)
            kind, format, items, now = peer_read("TIMESTAMP")
            self.assertEqual((kind, format, len(items)), ("INTEGER", 32, 1))
            times += [items[0], now]
        self.assertTrue(0 < times[0] <= times[1] <= times[2] <= times[3], times)

    def test_text_or_no_owner_is_no_file_list(self):
        xclip_in("UTF8_STRING", b"just text")
        self.assertEqual(run("--read_files_with_effect"), (0, b"none\n", b""))
        self.assertEqual(run("--read_files"), (101, b"", report(b"the clipboard holds no file list",
                                                                 LOCATION["--read_files"])))
        with peer("mute"):
            pass  # its end leaves the selection without an owner
        self.assertEqual(run("--read_files_with_effect"), (0, b"none\n", b""))
        self.assertEqual(run("--read_files"), DONE)

    def test_the_options_that_change_nothing_leave_the_clipboard_alone(self):
        xclip_in("UTF8_STRING", b"kept")
        self.assertEqual(run("--set_folder_icon", "/tmp", "--hide_extension", "/tmp/a.txt"), DONE)
        self.assertEqual(run(), DONE)
        self.assertEqual(xclip_out("UTF8_STRING"), b"kept")

    def test_incremental_transfers_carry_100000_paths_both_ways(self):
        lines, listed = many_paths()
        self.assertEqual(run("--copy_files_stdin", input=lines), DONE)
        self.assertEqual(xclip_out("text/uri-list"), listed)
        # One MULTIPLE request starts one incremental transfer: a second long target is refused.
        self.assertEqual(peer_read("text/uri-list", "UTF8_STRING", "application/x-kde-cutselection",
                                   mode="read-multiple"), ["INCR", None, b"0".hex()])
        xclip_in("text/uri-list", listed)
        self.assertEqual(run("--read_files"), (0, lines, b""))

    def test_an_owner_that_does_not_answer_fails_within_the_deadline(self):
        for mode, option, text in UNANSWERED:
            with self.subTest(mode=mode), peer(mode, "text/uri-list"):
                # Each by its own bound (5 s, or the size), far from the whole transfer's 60 s.
                started = time.monotonic()
                self.assertEqual(run(option, timeout=PATIENCE), (101, b"", report(text, LOCATION[option])))
                self.assertLess(time.monotonic() - started, 30)

    def test_repeated_copies_leave_one_server_which_ends_when_another_program_takes_the_clipboard(self):
        present = set(servers())
        for path in PATHS:
            self.assertEqual(run("--copy_files", path), DONE)
        wait_until(lambda: len(servers(ignoring=present)) == 1, what="one server")
        xclip_in("UTF8_STRING", b"taken")
        wait_until(lambda: not servers(ignoring=present), what="no server")

    def test_a_relative_path_without_a_current_directory_fails_before_anything_changes(self):
        xclip_in("UTF8_STRING", b"kept")
        done = subprocess.run(["sh", "-c", 'cd "$1" && rmdir "$1" && exec "$2" --copy_files rel.txt', "sh",
                               tempfile.mkdtemp(), EXE], capture_output=True, timeout=PATIENCE,
                              env=display_environment())
        self.assertEqual((done.returncode, done.stdout, done.stderr), (101, b"", report(
            b"the current directory, which a relative path is taken from, is unknown: No such file or directory "
            b"(os error 2)", LOCATION["--copy_files"])))
        self.assertEqual(xclip_out("UTF8_STRING"), b"kept")

    def test_no_display_is_a_clear_report(self):
        env = display_environment()
        del env["DISPLAY"]
        for display, text in ((None, b"no X display: DISPLAY is not set"),
                              (":64999", b'cannot connect to the X display ":64999"')):
            if display:
                env["DISPLAY"] = display
            self.assertEqual(run("--copy_files", PATHS[0], env=env), (101, b"", report(text, LOCATION["--copy_files"])))


if __name__ == "__main__":
    unittest.main()
