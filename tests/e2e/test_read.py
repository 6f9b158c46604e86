"""--read_files end to end: what a caller reads on standard output."""
import pathlib
import random
import subprocess
import tempfile
import time
import unittest

from harness import REPORT_HINT, UNRENDERED, WORK, WineTestCase, drop_block, windows_path


class ReadFiles(WineTestCase):
    def read(self, **kwargs):
        done = self.wine.run("--read_files", **kwargs)
        self.assertEqual((done.status, done.stderr), (0, b""), done)
        return done.stdout

    def test_copied_paths_come_back_one_utf8_line_each(self):
        long_path = "Z:\\" + "\\".join(["segment%03d" % i for i in range(40)])
        self.assertGreater(len(long_path), 260)
        paths = ["C:\\plain", "D:\\é ü", "E:\\файл\\文件", "F:\\\U0001F600", long_path]
        self.assertEqual(self.wine.run("--copy_files", ";;;".join(paths)).status, 0)
        self.assertEqual(self.read(), "".join(p + "\n" for p in paths).encode())

    def test_a_thousand_paths_keep_their_order(self):
        paths = [f"C:\\d\\{i:04d}" for i in range(1000)]
        self.assertEqual(self.wine.run("--copy_files", ";;;".join(paths)).status, 0)
        self.assertEqual(self.read().split(b"\n"), [p.encode() for p in paths] + [b""])

    def test_names_with_unpaired_surrogates_are_left_out(self):
        self.wine.put_hdrop(drop_block(["Z:\\first", "Z:\\bad\ud800", "\udc00", "Z:\\last"]))
        self.assertEqual(self.read(), b"Z:\\first\nZ:\\last\n")

    def test_narrow_names_are_read_through_the_platform(self):
        self.wine.put_hdrop(drop_block(["C:\\ansi", "D:\\two"], wide=False))
        self.assertEqual(self.read(), b"C:\\ansi\nD:\\two\n")

    def test_an_empty_list_counts_as_one_empty_name_under_wine(self):
        # Wine answers 1 to the count query on an empty list (Windows: 0);
        # the exe prints what the platform answers: one empty line.
        self.wine.put_hdrop(drop_block([]))
        self.assertEqual(self.read(), b"\n")

    def test_a_clipboard_without_a_file_list_is_fatal(self):
        self.wine.put_text("only text")
        done = self.wine.run("--read_files")
        self.assert_clipboard_failure(done, b"src/main:44:41")
        self.assertEqual(done.stdout, b"")

    def test_hostile_blocks_are_invalid_data_not_a_crash(self):
        header = bytes.fromhex("00" * 16 + "01000000")
        hostile = {
            "list offset past the end": (40).to_bytes(4, "little") + header[4:] + bytes(4),
            "huge list offset": (0x7FFFFFF0).to_bytes(4, "little") + header[4:] + bytes(4),
            "no terminator": (20).to_bytes(4, "little") + header[4:] + "Z:\\a".encode("utf-16-le") * 50,
            "four bytes": bytes.fromhex("14000000"),
        }
        for what, block in hostile.items():
            with self.subTest(what=what):
                self.wine.put_hdrop(block)
                done = self.wine.run("--read_files", timeout=60)
                self.assertEqual(self.assert_clipboard_failure(done, b"src/main:44:41"), 13)
                self.assertTrue(self.wine.can_open())

    def test_the_backtrace_variable_chooses_hint_or_trace(self):
        self.wine.put_text("only text")
        for setting, expected in [("-RUST_BACKTRACE", "hint"), ("RUST_BACKTRACE=0", "hint"),
                                  ("RUST_BACKTRACE=1", "brief"), ("RUST_BACKTRACE=", "brief"),
                                  ("RUST_BACKTRACE=full", "full")]:
            with self.subTest(setting=setting):
                done = self.wine.run("--read_files", environment=[setting])
                self.assertEqual(done.status, 101)
                first, rest = done.stderr.split(b"\n", 1)
                self.assertTrue(first.endswith(b"', src/main:44:41"))
                if expected == "hint":
                    self.assertEqual(rest, REPORT_HINT)
                    continue
                lines = rest.decode().splitlines()
                self.assertEqual(lines[0], "stack backtrace:")
                self.assertIn("vantle_native.exe+0x", rest.decode())
                note = "note: Some details are omitted, run with `RUST_BACKTRACE=full` for a verbose backtrace."
                self.assertEqual(lines[-1] == note, expected == "brief")

    def test_the_effect_word_follows_the_drop_effect(self):
        cases = [((2).to_bytes(4, "little"), b"move"), ((5).to_bytes(4, "little"), b"copy"),
                 ((4).to_bytes(4, "little"), b"link"), ((3).to_bytes(4, "little"), b"copy"),
                 ((6).to_bytes(4, "little"), b"move"), ((0).to_bytes(4, "little"), b"copy"),
                 (b"\x02\x00", b"copy"), (None, b"copy")]
        for effect, word in cases:
            with self.subTest(effect=effect):
                self.wine.put_hdrop(drop_block(["Z:\\a", "Z:\\b"]), effect=effect)
                done = self.wine.run("--read_files_with_effect")
                self.assertEqual((done.status, done.stdout, done.stderr), (0, word + b"\nZ:\\a\nZ:\\b\n", b""))

    def test_no_file_list_reads_as_none(self):
        self.wine.put_text("only text")
        done = self.wine.run("--read_files_with_effect")
        self.assertEqual((done.status, done.stdout, done.stderr), (0, b"none\n", b""))

    def test_the_one_walk_reads_what_the_platform_queries_read(self):
        rng = random.Random(20261207)
        pieces = ["a", "Z:\\", "é", "文件", "\U0001F600", "\ud800", "\udc00", "\ud83d\ude00", " ", ";"]
        # Line breaks apart: the platform's queries give such a name whole,
        # and the one walk leaves it out (below).
        narrow_bytes = [bytes([b]) for b in range(1, 256) if b not in b"\r\n"]
        for trial in range(24):
            wide = trial % 2 == 0
            choices = pieces if wide else narrow_bytes
            names = [("" if wide else b"").join(rng.choice(choices) for _ in range(rng.randint(1, 8)))
                     for _ in range(rng.randint(1, 40))]
            with self.subTest(trial=trial, wide=wide):
                self.wine.put_hdrop(drop_block(names, wide))
                queried = self.read()
                walked = self.wine.run("--read_files_with_effect")
                self.assertEqual((walked.status, walked.stderr), (0, b""))
                self.assertEqual(walked.stdout, b"copy\n" + queried)
        self.wine.put_hdrop(drop_block(["Z:\\a", "Z:\\b\nC:\\other", "Z:\\c\r", "Z:\\d"]))
        walked = self.wine.run("--read_files_with_effect")
        self.assertEqual((walked.status, walked.stdout), (0, b"copy\nZ:\\a\nZ:\\d\n"))
        hostile = (0x7FFFFFF0).to_bytes(4, "little") + bytes(12) + (1).to_bytes(4, "little") + bytes(4)
        self.wine.put_hdrop(hostile)
        done = self.wine.run("--read_files_with_effect")
        self.assertEqual(self.assert_clipboard_failure(done, b"src/main:60:52"), 13)

    def test_an_owner_that_never_renders_fails_the_read_after_10_s_and_leaves_the_clipboard_free(self):
        for option, location in (("--read_files", b"src/main:44:41"), ("--read_files_with_effect", b"src/main:60:52")):
            with self.subTest(option=option):
                def read():
                    started = time.monotonic()
                    done = self.wine.run(option, timeout=90)
                    # The read's thread, stuck in the owner's rendering, ended with the exe.
                    return done, time.monotonic() - started, self.wine.can_open()
                done, elapsed, free = self.wine.against_hung_owner(read)
                self.assertEqual((done.status, done.stdout, done.stderr),
                                 (101, b"", self.clipboard_text_report(UNRENDERED, location)), done)
                self.assertGreaterEqual(elapsed, 10, done)
                self.assertTrue(free, "the clipboard was left open while the owner hangs")
                after = ["Z:\\after the hung owner"]
                self.assertEqual(self.wine.run("--cut_files", after[0]).status, 0)
                self.assertEqual(self.wine.hdrop(), drop_block(after))

    def test_x11_clients_file_lists_come_back_as_drive_z_paths(self):
        with tempfile.TemporaryDirectory(dir=WORK) as folder:
            files = [pathlib.Path(folder, "one.txt"), pathlib.Path(folder, "two words.txt")]
            for f in files:
                f.write_text("x")
            uri_list = "".join(f.as_uri() + "\r\n" for f in files)
            xclip = subprocess.Popen(["xclip", "-selection", "clipboard", "-t", "text/uri-list", "-i", "-loops", "3"],
                                     env=self.wine.env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
            xclip.communicate(uri_list.encode(), timeout=10)
            try:
                done = self.wine.run("--read_files")
            finally:
                xclip.kill()
        self.assertEqual((done.status, done.stderr), (0, b""), done)
        self.assertEqual(done.stdout, "".join(windows_path(f) + "\n" for f in files).encode())


if __name__ == "__main__":
    unittest.main()
