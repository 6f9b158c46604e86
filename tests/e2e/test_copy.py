"""--copy_files end to end: the block that lands on the clipboard, to the byte."""
import pathlib
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from harness import REPORT_HINT, WORK, WineTestCase, drop_block, windows_path

MOVE = (2).to_bytes(4, "little")


class CopyFiles(WineTestCase):
    def test_the_block_holds_each_piece_in_order(self):
        cases = {
            "C:\\a": ["C:\\a"],
            "": [""],
            ";;;;": ["", ";"],
            "C:\\a;;;D:\\b c;;;": ["C:\\a", "D:\\b c", ""],
            "C:\\x;y;;z": ["C:\\x;y;;z"],
            "Z:\\tmp\\é\U0001F600\\файл\\文件": ["Z:\\tmp\\é\U0001F600\\файл\\文件"],
            "rel\\path;;;rel\\path": ["rel\\path", "rel\\path"],
        }
        for value, pieces in cases.items():
            with self.subTest(value=value):
                done = self.wine.run("--copy_files", value)
                self.assertEqual((done.status, done.stdout, done.stderr), (0, b"", b""))
                self.assertEqual(self.wine.hdrop(), drop_block(pieces))

    def test_an_empty_value_gives_the_24_byte_block(self):
        self.assertEqual(self.wine.run("--copy_files", "").status, 0)
        self.assertEqual(self.wine.hdrop(), bytes.fromhex("14000000" + "00" * 12 + "01000000" + "00000000"))

    def test_a_second_copy_replaces_the_first_and_the_last_value_wins(self):
        self.wine.put_text("earlier text")
        self.assertEqual(self.wine.run("--copy_files", "Z:\\one").status, 0)
        self.assertEqual(self.wine.run("--copy_files", "Z:\\two", "--copy_files", "Z:\\three").status, 0)
        self.assertEqual(self.wine.hdrop(), drop_block(["Z:\\three"]))
        read = self.wine.run("--read_files")
        self.assertEqual(read.stdout, b"Z:\\three\n")

    def test_a_held_clipboard_fails_at_once_and_keeps_its_content(self):
        self.wine.put_hdrop(drop_block(["Z:\\before"]))
        with self.wine.clipboard_held():
            started = time.monotonic()
            done = self.wine.run("--copy_files", "Z:\\after")
            elapsed = time.monotonic() - started
        code = self.assert_clipboard_failure(done, b"src/main:40:36")
        self.assertEqual(code, 5)
        self.assertLess(elapsed, 30, "the open must not wait for the holder")
        self.assertEqual(self.wine.hdrop(), drop_block(["Z:\\before"]))

    def test_a_cut_places_the_list_and_its_move_effect(self):
        for option, placed in [("--cut_files", ["Z:\\a", "D:\\b c;d", ""]), ("--copy_files", ["Z:\\a"])]:
            with self.subTest(option=option):
                done = self.wine.run(option, ";;;".join(placed))
                self.assertEqual((done.status, done.stdout, done.stderr), (0, b"", b""))
                self.assertEqual(self.wine.hdrop(), drop_block(placed))
                # A copy after a cut leaves no effect behind.
                self.assertEqual(self.wine.effect(), MOVE if option == "--cut_files" else None)

    def test_a_held_clipboard_makes_a_cut_fail_at_once_and_keeps_its_content(self):
        self.wine.put_hdrop(drop_block(["Z:\\before"]), effect=(1).to_bytes(4, "little"))
        with self.wine.clipboard_held():
            done = self.wine.run("--cut_files", "Z:\\after")
        self.assertEqual(self.assert_clipboard_failure(done, b"src/main:48:35"), 5)
        self.assertEqual(self.wine.hdrop(), drop_block(["Z:\\before"]))
        self.assertEqual(self.wine.effect(), (1).to_bytes(4, "little"))

    def test_standard_input_lists_of_thousands_round_trip(self):
        paths = [f"Z:\\d\\{i:04d} é\U0001F600;;;x;;;;y" for i in range(5000)]
        text = "\r\n".join(paths[:2500]) + "\n\r\n" + "\n".join(paths[2500:])
        for option, word in [("--copy_files_stdin", b"copy"), ("--cut_files_stdin", b"move")]:
            with self.subTest(option=option):
                done = self.wine.run_with_input(text.encode(), option)
                self.assertEqual((done.status, done.stdout, done.stderr), (0, b"", b""))
                self.assertEqual(self.wine.hdrop(), drop_block(paths))
                read = self.wine.run("--read_files_with_effect")
                self.assertEqual(read.stdout, b"\n".join([word] + [p.encode() for p in paths]) + b"\n")

    def test_unusable_input_is_fatal_and_leaves_the_clipboard_alone(self):
        self.wine.put_hdrop(drop_block(["Z:\\kept"]))
        cases = [(b"Z:\\a\r\nZ:\\\xff\r\n", "--copy_files_stdin", b"src/main:52:47", b"line 2 is not valid UTF-8"),
                 (b"Z:\\a\0b", "--cut_files_stdin", b"src/main:56:46", b"line 1 holds a NUL")]
        for data, option, location, detail in cases:
            with self.subTest(option=option):
                done = self.wine.run_with_input(data, option)
                self.assertEqual(done.status, 101)
                self.assertEqual(done.stderr, self.report(b'called `Result::unwrap()` on an `Err` value: '
                                                          b'Input("Standard input error: ' + detail + b'")',
                                                          location) + REPORT_HINT)
                self.assertEqual(self.wine.hdrop(), drop_block(["Z:\\kept"]))
        # No paths at all is no failure, and nothing changes.
        done = self.wine.run_with_input(b"\r\n\n", "--cut_files_stdin")
        self.assertEqual((done.status, done.stderr), (0, b""))
        self.assertEqual(self.wine.hdrop(), drop_block(["Z:\\kept"]))

    def test_the_four_options_win_over_the_new_ones(self):
        cases = [
            (["--cut_files", "Z:\\cut", "--copy_files", "Z:\\copy"], b"", ["Z:\\copy"], None),
            (["--cut_files", "Z:\\cut", "--read_files"], b"Z:\\kept\n", ["Z:\\kept"], None),
            (["--read_files_with_effect", "--copy_files_stdin", "--cut_files", "Z:\\cut"], b"", ["Z:\\cut"], MOVE),
            (["--read_files_with_effect", "--cut_files_stdin", "--copy_files_stdin"], b"", ["Z:\\in"], None),
            (["--read_files_with_effect", "--cut_files_stdin"], b"", ["Z:\\in"], MOVE),
            (["--serve", "--read_files_with_effect"], b"copy\nZ:\\kept\n", ["Z:\\kept"], None),
        ]
        for arguments, output, placed, effect in cases:
            with self.subTest(arguments=arguments):
                self.wine.put_hdrop(drop_block(["Z:\\kept"]))
                done = self.wine.run_with_input(b"Z:\\in\n", *arguments)
                self.assertEqual((done.status, done.stdout, done.stderr), (0, output, b""))
                self.assertEqual((self.wine.hdrop(), self.wine.effect()), (drop_block(placed), effect))

    def test_the_desktop_offers_copied_files_to_x11_clients_as_uris(self):
        with tempfile.TemporaryDirectory(dir=WORK) as folder:
            first, second = pathlib.Path(folder, "first file.txt"), pathlib.Path(folder, "second.txt")
            first.write_text("1")
            second.write_text("2")
            done = self.wine.run("--copy_files", f"{windows_path(first)};;;{windows_path(second)}")
            self.assertEqual(done.status, 0)
            listed = subprocess.run(["xclip", "-selection", "clipboard", "-t", "text/uri-list", "-o"],
                                    env=self.wine.env, capture_output=True, timeout=30)
            # Wine percent-encodes every character of the path.
            uris = [urllib.parse.unquote(uri) for uri in listed.stdout.decode().split("\r\n") if uri]
            self.assertEqual(uris, [f"file://{first}", f"file://{second}"])


if __name__ == "__main__":
    unittest.main()
