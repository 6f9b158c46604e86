"""The Node.js package (node/) against the real exe, installed from its npm
tarball into an empty app: its own tests under node's test runner, and the
example in examples/."""
import os
import pathlib
import shutil
import tempfile
import unittest

from harness import EXE, HELPER, WINE_DIR, WORK, WineTestCase
from node_app import LINUX_PROGRAM, example_output, install_package, run_example, run_package_tests


@unittest.skipIf(shutil.which("node") is None or shutil.which("npm") is None, "no Node.js on this machine")
class NodePackage(WineTestCase):
    """Everything runs from the tarball installed into an empty app, as an app
    would have it."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.app_folder = tempfile.TemporaryDirectory(dir=WORK)
        cls.app = pathlib.Path(cls.app_folder.name)
        cls.package = install_package(cls.app)

    @classmethod
    def tearDownClass(cls):
        cls.app_folder.cleanup()

    def node_env(self):
        return dict(self.wine.env, VANTLE_WINE=str(WINE_DIR / "wine64"), VANTLE_EXE=str(EXE),
                    VANTLE_HELPER=str(HELPER), VANTLE_WORK=str(WORK), VANTLE_PACKAGE=str(self.package))

    def test_the_tarball_installs_alone_with_both_programs_and_its_declarations(self):
        installed = sorted(p.parent.name for p in (self.app / "node_modules").glob("*/package.json"))
        self.assertEqual(installed, ["vantle-native"])
        self.assertEqual((self.package / "vantle_native.exe").read_bytes(), EXE.read_bytes())
        self.assertEqual((self.package / "vantle-native").read_bytes(), LINUX_PROGRAM.read_bytes())
        self.assertTrue(os.access(self.package / "vantle-native", os.X_OK))
        self.assertTrue((self.package / "index.d.ts").exists())

    def test_the_package_tests_pass_under_wine(self):
        done = run_package_tests(self.node_env())
        self.assertEqual(done.returncode, 0, done.stdout.decode() + done.stderr.decode())
        self.assertIn(b"# fail 0", done.stdout)

    def test_the_example_runs(self):
        paths = ["Z:\\tmp\\report.txt", "Z:\\tmp\\Фото 😀.png", "C:\\a;;;b\\c d"]
        self.assertEqual(run_example(self.app, self.node_env(), paths), example_output(paths))


if __name__ == "__main__":
    unittest.main()
