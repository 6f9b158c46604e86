"""--read_files on a real console: Wine inside tmux gives the exe a console,
so its lines go through WriteConsoleW and are read back from the screen."""
import os
import shlex
import subprocess
import time
import unicodedata
import unittest

from harness import EXE, WINE_DIR, WineTestCase

WIDTH = 240


def display_width(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def unwrap(lines, width):
    """Wine's console breaks a long line at the screen's width itself, so the
    terminal cannot join the pieces: a line that fills the width goes on in
    the next one."""
    joined = []
    carry = ""
    for line in lines:
        carry += line
        if display_width(line) < width:
            joined.append(carry)
            carry = ""
    return joined + ([carry] if carry else [])


class Console(WineTestCase):
    def screen_after(self, command):
        socket = f"vantle-test-{os.getpid()}"
        tmux = ["tmux", "-L", socket]
        shell = f"{command}; echo EXIT=$?; sleep 60"
        subprocess.run([*tmux, "new-session", "-d", "-x", str(WIDTH), "-y", "100", shell], env=self.wine.env, check=True)
        try:
            deadline = time.monotonic() + 60
            while time.monotonic() < deadline:
                screen = subprocess.run([*tmux, "capture-pane", "-p", "-J", "-S", "-"], capture_output=True,
                                        env=self.wine.env).stdout.decode()
                if "EXIT=" in screen:
                    return screen
                time.sleep(0.2)
            self.fail("the exe did not finish on the console")
        finally:
            subprocess.run([*tmux, "kill-server"], env=self.wine.env)

    def test_non_ascii_and_long_lines_show_as_written(self):
        # 2,100 Cyrillic letters are 4,200 bytes of UTF-8: more than one
        # console write, cut between characters.
        paths = ["Z:\\Фото\\文件.txt", "Z:\\" + "ж" * 2100]
        self.assertEqual(self.wine.run("--copy_files", ";;;".join(paths)).status, 0)
        env = " ".join(f"{k}={shlex.quote(self.wine.env[k])}" for k in ("WINEPREFIX", "WINEDEBUG", "DISPLAY"))
        screen = self.screen_after(f"env -u RUST_BACKTRACE {env} {WINE_DIR / 'wine64'} {shlex.quote(str(EXE))} "
                                   "--read_files")
        lines = unwrap([line.rstrip() for line in screen.splitlines()], WIDTH)
        self.assertIn("EXIT=0", lines)
        self.assertEqual(lines[:lines.index("EXIT=0")][-2:], paths)


if __name__ == "__main__":
    unittest.main()
