"""An Xvfb of a test run's own, on the first free display from 200 on: it
writes the number to a descriptor we give it once it serves, and one whose
display is taken exits. The low numbers are where compositors start their
XWayland, each on the first it finds free, as other users, and where their
suites' clean-ups remove lock files: on :0 while such suites ran, a test's
client now and then could not connect to the test's own display. It
is stopped by its process id, only while that id is still an Xvfb: process
ids come round again quickly, and a state file left by an interrupted run may
name another process by now."""
import os
import pathlib
import signal
import subprocess
import sys

DISPLAYS = range(200, 300)


def start_xvfb():
    """Starts an Xvfb; gives its display number and process id."""
    for number in DISPLAYS:
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", f":{number}", "-displayfd", str(write_end), "-screen", "0", "800x600x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        with os.fdopen(read_end) as displayfd:
            display = displayfd.readline().strip()
        if display:
            return display, xvfb.pid
        xvfb.wait()
    sys.exit("Xvfb did not start")


def stop_xvfb(pid):
    try:
        if pathlib.Path(f"/proc/{pid}/cmdline").read_bytes().startswith(b"Xvfb\0"):
            os.kill(pid, signal.SIGTERM)
    except (FileNotFoundError, ProcessLookupError):
        pass
