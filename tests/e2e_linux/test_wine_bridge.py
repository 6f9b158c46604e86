"""Wine's clipboard bridge as a real peer: a copy by the Linux build is a file
list to a Windows program under Wine, and a Windows program's copy is one to
the Linux build. Runs on the Wine session's display (wine_session.py)."""
import pathlib
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "e2e"))

from harness import WORK, WineTestCase, drop_block, windows_path  # noqa: E402
from x11_harness import display_environment, run, wait_until  # noqa: E402


class WineBridge(WineTestCase):
    def test_a_file_list_crosses_both_ways(self):
        with tempfile.TemporaryDirectory(dir=WORK) as folder:
            # Wine exports a list only when every path is an existing file.
            files = [pathlib.Path(folder, name) for name in ("Фото 😀.txt", "one.txt", "two words.txt")]
            for file in files:
                file.write_text("x")
            env = display_environment(self.wine.env["DISPLAY"])
            self.assertEqual(run("--copy_files", ";;;".join(map(str, files)), env=env), (0, b"", b""))
            wait_until(lambda: self.wine.hdrop() == drop_block([windows_path(f) for f in files]), timeout=20,
                       what="the list under Wine")

            # Wine 8 garbles a name beyond ASCII on its way out (each byte
            # becomes a broken escape), so the way back has ASCII names only.
            back = files[:0:-1]
            self.assertEqual(self.wine.run("--copy_files", ";;;".join(map(windows_path, back))).status, 0)
            lines = "".join(f"{f}\n" for f in back).encode()
            wait_until(lambda: run("--read_files_with_effect", env=env) == (0, b"copy\n" + lines, b""), timeout=20,
                       what="the Windows program's list on Linux")
