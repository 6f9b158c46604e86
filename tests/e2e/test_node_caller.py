"""The example caller in examples/ (Node.js, child_process.execFile) copies
paths and reads them back through the real exe."""
import json
import pathlib
import shutil
import subprocess
import unittest

from harness import EXE, WINE_DIR, WineTestCase

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "clipboard_files.js"


@unittest.skipIf(shutil.which("node") is None, "no Node.js on this machine")
class NodeCaller(WineTestCase):
    def test_copies_and_reads_back_utf8_paths(self):
        paths = ["Z:\\tmp\\report.txt", "Z:\\tmp\\Фото 😀.png", "C:\\a;b\\c d"]
        env = dict(self.wine.env, VANTLE_WINE=str(WINE_DIR / "wine64"), VANTLE_EXE=str(EXE))
        done = subprocess.run(["node", str(EXAMPLE), *paths], env=env, capture_output=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(json.loads(done.stdout), {"copied": paths, "read": paths})

    def test_a_failure_reaches_the_caller_as_an_error(self):
        env = dict(self.wine.env, VANTLE_WINE=str(WINE_DIR / "wine64"), VANTLE_EXE=str(EXE))
        with self.wine.clipboard_held():
            done = subprocess.run(["node", str(EXAMPLE), "Z:\\x"], env=env, capture_output=True, timeout=120)
        self.assertEqual(done.returncode, 1)
        self.assertIn(b"vantle_native failed (status 101): thread 'main' panicked at", done.stderr)


if __name__ == "__main__":
    unittest.main()
