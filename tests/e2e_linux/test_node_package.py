"""The Node.js package on an X11 display, as an app on Linux has it: installed
from its npm tarball into an empty app, running its own Linux program with no
launcher. The package's tests (node/test/, with xclip for the desktop's other
programs) and the example run from there."""
import pathlib
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "e2e"))

from node_app import example_output, install_package, run_example, run_package_tests  # noqa: E402
from x11_harness import display_environment  # noqa: E402


@unittest.skipIf(shutil.which("node") is None or shutil.which("npm") is None, "no Node.js on this machine")
class NodePackageOnX11(unittest.TestCase):
    environment = staticmethod(display_environment)

    @classmethod
    def setUpClass(cls):
        cls.app_folder = tempfile.TemporaryDirectory()
        cls.app = pathlib.Path(cls.app_folder.name)
        package = install_package(cls.app)
        cls.env = dict(cls.environment(), VANTLE_PACKAGE=str(package))
        cls.env.pop("VANTLE_WINE", None)

    @classmethod
    def tearDownClass(cls):
        cls.app_folder.cleanup()

    def test_the_package_tests_pass_with_its_own_program(self):
        done = run_package_tests(self.env)
        self.assertEqual(done.returncode, 0, done.stdout.decode() + done.stderr.decode())
        self.assertIn(b"# fail 0", done.stdout)

    def test_the_example_runs_without_a_launcher(self):
        paths = ["/tmp/report.txt", "/tmp/Фото 😀.png", "/tmp/a;;;b/c d"]
        self.assertEqual(run_example(self.app, self.env, paths), example_output(paths))


if __name__ == "__main__":
    unittest.main()
