"""The Node.js package as an app has it: the npm tarball that scripts/pack-node
writes (the Windows exe and the Linux program inside) installed into an empty
app, and the package's own tests and example run from there."""
import json
import os
import pathlib
import shutil
import subprocess

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLE = ROOT / "examples" / "clipboard_files.js"
WINDOWS_BUILD = pathlib.Path(os.environ["VANTLE_WINDOWS_BUILD"])
LINUX_BUILD = pathlib.Path(os.environ["VANTLE_LINUX_BUILD"])
EXE = WINDOWS_BUILD / "vantle_native.exe"
LINUX_PROGRAM = LINUX_BUILD / "vantle-native"


def install_package(app):
    """Packs the package and installs it into the empty app in `app`; gives
    the installed package's folder."""
    version = (WINDOWS_BUILD / "version.txt").read_text().strip()
    tarball = subprocess.run([str(ROOT / "scripts" / "pack-node"), str(EXE), str(LINUX_PROGRAM), version,
                              str(app / "dist")], capture_output=True, text=True, check=True, timeout=120).stdout.strip()
    (app / "package.json").write_text('{"private": true}\n')
    subprocess.run(["npm", "install", "--offline", "--no-audit", "--no-fund", tarball], cwd=app,
                   capture_output=True, check=True, timeout=300)
    shutil.copy(EXAMPLE, app)
    return app / "node_modules" / "vantle-native"


def run_package_tests(env):
    """node --test over the package's tests, with the installed package."""
    return subprocess.run(["node", "--test", "node/test/"], cwd=ROOT, env=env, capture_output=True, timeout=600)


def run_example(app, env, paths):
    """What the example in `app` printed for `paths` (the sequence number
    apart, which only the clipboard knows), or the failure's text."""
    done = subprocess.run(["node", "clipboard_files.js", *paths], cwd=app, env=env, capture_output=True, timeout=120)
    if done.returncode != 0:
        return done.stderr.decode()
    printed = json.loads(done.stdout)
    printed["read"].pop("sequence")
    return printed


def example_output(paths):
    """What the example prints for a copy of `paths`, read back."""
    return {"copied": paths, "read": {"effect": "copy", "files": paths}}
