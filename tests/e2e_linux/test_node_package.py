"""The Node.js package on an X11 display, as an app on Linux has it: installed
from its npm tarball into an empty app, running its own Linux program with no
launcher. The package's tests (node/test/, with xclip for the desktop's other
programs) and the example run from there."""
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "e2e"))

from node_app import example_output, install_package, run_example, run_package_tests  # noqa: E402
from x11_harness import PATIENCE, display_environment, file_uri, paused_incr_read  # noqa: E402

# An app that copies the paths it is given and closes its session once a line comes on its input.
CLOSES_WHEN_TOLD = """const s = require('vantle-native').openSession();
s.copyFiles(process.argv.slice(1)).then(() => console.log('copied'));
process.stdin.once('data', () => { process.stdin.destroy(); s.close(); });"""


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

    def test_a_paste_under_way_when_the_app_closes_its_session_gets_the_whole_list(self):
        paths = [f"/tmp/pasted-{i}" for i in range(20000)]
        app = subprocess.Popen(["node", "-e", CLOSES_WHEN_TOLD, *paths], cwd=self.app, env=self.env,
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.addCleanup(app.kill)
        self.assertEqual(app.stdout.readline(), b"copied\n")
        with paused_incr_read("text/uri-list") as finish:
            # The app exits once it has closed its session; its helper goes on serving the paste.
            self.assertEqual(app.communicate(b"close\n", timeout=PATIENCE), (b"", None))
            read = finish()
        listed = "".join(file_uri(path) + "\r\n" for path in paths).encode()
        self.assertTrue(read == listed, f"the reader got {len(read)} bytes of {len(listed)}")

    def test_the_example_runs_without_a_launcher(self):
        paths = ["/tmp/report.txt", "/tmp/Фото 😀.png", "/tmp/a;;;b/c d"]
        self.assertEqual(run_example(self.app, self.env, paths), example_output(paths))


if __name__ == "__main__":
    unittest.main()
