"""scripts/package as a release: the exe signed with a throwaway certificate,
verified, run under Wine from the zip; every artifact in SHA256SUMS. And the
exe's stack protection, on a program built with the same flags and guard."""
import os
import pathlib
import re
import subprocess
import tarfile
import tempfile
import unittest
import zipfile

from harness import EXE, WINDOWS_BUILD, WORK, WineTestCase, drop_block

ROOT = pathlib.Path(__file__).resolve().parents[2]
STACK_PROBE = WINDOWS_BUILD / "stack_guard_probe.exe"


def make_certificate(folder, password):
    """A self-signed code-signing certificate and its PKCS#12 file."""
    key, cert, pfx = folder / "key.pem", folder / "cert.pem", folder / "sign.pfx"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "30", "-subj", "/CN=vantle_native test", "-addext", "extendedKeyUsage=codeSigning"],
                   check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-out", pfx, "-inkey", key, "-in", cert,
                    "-passout", f"pass:{password}"], check=True, capture_output=True)
    return cert, pfx


class Release(WineTestCase):
    def package(self, dist, **signing):
        env = {k: v for k, v in os.environ.items() if not k.startswith("VANTLE_SIGN_")}
        env.update(signing)
        return subprocess.run([str(ROOT / "scripts" / "package"), str(dist)], env=env, capture_output=True,
                              text=True, timeout=600)

    def test_a_signed_release_verifies_runs_and_is_summed(self):
        with tempfile.TemporaryDirectory(dir=WORK) as folder:
            folder = pathlib.Path(folder)
            cert, pfx = make_certificate(folder, "pass word")
            done = self.package(folder / "dist", VANTLE_SIGN_PFX=str(pfx), VANTLE_SIGN_PASSWORD="pass word")
            self.assertEqual(done.returncode, 0, done.stderr)
            artifacts = sorted(p.name for p in (folder / "dist").iterdir())
            version = (WINDOWS_BUILD / "version.txt").read_text().strip()
            self.assertEqual(artifacts, ["SHA256SUMS", f"vantle-native-{version}.tgz",
                                         f"vantle_native-{version}-x86_64.zip"])
            checked = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=folder / "dist", capture_output=True,
                                     text=True)
            self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
            self.assertEqual(checked.stdout.count(": OK"), 2)

            zip_path = next((folder / "dist").glob("*.zip"))
            with zipfile.ZipFile(zip_path) as archive:
                name = next(n for n in archive.namelist() if n.endswith("/vantle_native.exe"))
                exe = folder / "vantle_native.exe"
                exe.write_bytes(archive.read(name))
            with tarfile.open(folder / "dist" / f"vantle-native-{version}.tgz") as tarball:
                self.assertEqual(tarball.extractfile("package/vantle_native.exe").read(), exe.read_bytes())
            self.assertNotEqual(exe.read_bytes(), EXE.read_bytes())
            verified = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", exe], capture_output=True,
                                      text=True)
            self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
            self.assertIn("Signature verification: ok", verified.stdout)

            paths = ["Z:\\signed\\é.txt", "Z:\\two"]
            copied = self.wine.run("--copy_files", ";;;".join(paths), exe=exe)
            self.assertEqual((copied.status, copied.stderr), (0, b""))
            self.assertEqual(self.wine.hdrop(), drop_block(paths))
            read = self.wine.run("--read_files", exe=exe)
            self.assertEqual((read.status, read.stdout), (0, "".join(p + "\n" for p in paths).encode()))

    def test_a_wrong_password_or_file_fails_clearly_and_writes_nothing(self):
        with tempfile.TemporaryDirectory(dir=WORK) as folder:
            folder = pathlib.Path(folder)
            _, pfx = make_certificate(folder, "right")
            for signing, message in [({"VANTLE_SIGN_PFX": str(pfx), "VANTLE_SIGN_PASSWORD": "wrong"}, "signing failed"),
                                     ({"VANTLE_SIGN_PFX": str(folder / "missing.pfx"), "VANTLE_SIGN_PASSWORD": "right"},
                                      "cannot read the signing file"),
                                     ({"VANTLE_SIGN_PFX": str(pfx)}, "VANTLE_SIGN_PASSWORD is missing"),
                                     ({"VANTLE_SIGN_PFX": str(pfx), "VANTLE_SIGN_PASSWORD": ""},
                                      "VANTLE_SIGN_PASSWORD is missing"),
                                     ({"VANTLE_SIGN_PASSWORD": "right"}, "VANTLE_SIGN_PFX is missing"),
                                     ({"VANTLE_SIGN_PFX": "", "VANTLE_SIGN_PASSWORD": "right"},
                                      "VANTLE_SIGN_PFX is missing")]:
                with self.subTest(signing=signing):
                    done = self.package(folder / "dist", **signing)
                    self.assertNotEqual(done.returncode, 0)
                    self.assertIn(message, done.stderr)
                    self.assertFalse((folder / "dist").exists())

    def test_the_stack_guard_is_seeded_at_each_start_and_an_overrun_fails_fast(self):
        source = (ROOT / "src" / "runtime" / "stack_guard.cpp").read_text()
        initial = int(re.search(r"__stack_chk_guard = (0x[0-9A-Fa-f]+)", source).group(1), 16)
        runs = [self.wine.run(exe=STACK_PROBE) for _ in range(2)]
        self.assertEqual([run.status for run in runs], [0, 0], runs)
        guards = {int(run.stdout, 16) for run in runs}
        self.assertEqual(len(guards), 2, runs)
        self.assertNotIn(initial, guards)
        # GetExitCodeProcess gives the whole status; Wine's loader exits with its low byte only.
        self.assertEqual(self.wine.run("overflow", exe=STACK_PROBE).status, 0xC0000409)


if __name__ == "__main__":
    unittest.main()
