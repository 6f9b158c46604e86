"""--copy_files end to end: the block that lands on the clipboard, to the byte."""
import pathlib
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from harness import WORK, WineTestCase, drop_block, windows_path


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

    def test_the_desktop_offers_copied_files_to_x11_clients_as_uris(self):
        with tempfile.TemporaryDirectory(dir=WORK) as folder:
            first, second = pathlib.Path(folder, "first file.txt"), pathlib.Path(folder, "second.txt")
            first.write_text("1")
            second.write_text("2")
            with self.wine.window_alive():
                done = self.wine.run("--copy_files", f"{windows_path(first)};;;{windows_path(second)}")
                self.assertEqual(done.status, 0)
                listed = subprocess.run(["xclip", "-selection", "clipboard", "-t", "text/uri-list", "-o"],
                                        env=self.wine.env, capture_output=True, timeout=30)
            # Wine percent-encodes every character of the path.
            uris = [urllib.parse.unquote(uri) for uri in listed.stdout.decode().split("\r\n") if uri]
            self.assertEqual(uris, [f"file://{first}", f"file://{second}"])


if __name__ == "__main__":
    unittest.main()
