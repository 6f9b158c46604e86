"""An Xvfb of a test run's own: it picks a free display and writes the
number to a descriptor we give it (no display number is hard-coded), and it
is stopped by its process id, only while that id is still an Xvfb: process
ids come round again quickly, and a state file left by an interrupted run may
name another process by now. It never resets: an X server resets when its
last client goes, and a client that connects meanwhile is refused (a test
that had ended every client it started saw its next program fail to
connect, now and then)."""
import os
import pathlib
import signal
import subprocess
import sys


def start_xvfb():
    """Starts an Xvfb; gives its display number and process id."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write_end)
    with os.fdopen(read_end) as displayfd:
        display = displayfd.readline().strip()
    if not display:
        xvfb.kill()
        sys.exit("Xvfb did not start")
    return display, xvfb.pid


def stop_xvfb(pid):
    try:
        if pathlib.Path(f"/proc/{pid}/cmdline").read_bytes().startswith(b"Xvfb\0"):
            os.kill(pid, signal.SIGTERM)
    except (FileNotFoundError, ProcessLookupError):
        pass
