"""Concurrent copies, cuts and reads under Wine: a read never pairs one
writer's list with another writer's effect, and a clipboard that another
program has open is the busy error (5), nothing else. VANTLE_SOAK_SECONDS
sets how long it runs (scripts/soak runs it for longer) and prints how many runs of each kind it made."""
import concurrent.futures
import os
import re
import sys
import time
import unittest

from harness import WineTestCase

COPIED = ["Z:\\soak\\copied one", "Z:\\soak\\copied two"]
CUT = ["Z:\\soak\\cut"]
SECONDS = float(os.environ.get("VANTLE_SOAK_SECONDS", "30"))
ANSWERS = {b"copy\n" + "".join(p + "\n" for p in COPIED).encode(), b"move\n" + "".join(p + "\n" for p in CUT).encode()}


def unexpected(what, done):
    """Why an outcome breaks the rules, or None: a run succeeds or finds the
    clipboard busy, and a read gives one writer's list with its own effect."""
    code = re.search(rb"\(os error (-?\d+)\)", done.stderr)
    busy = done.status == 101 and code and int(code.group(1)) == 5
    if done.status != 0 and not busy:
        return "failed"
    if what == "read" and done.status == 0 and done.stdout not in ANSWERS | {b"none\n"}:
        return "mixed"
    return None


class Soak(WineTestCase):
    def loop(self, what, run):
        deadline, outcomes = time.monotonic() + SECONDS, []
        while time.monotonic() < deadline:
            outcomes.append(run())
        return what, outcomes

    def test_no_read_mixes_two_writers(self):
        copy_input = "".join(p + "\n" for p in COPIED).encode()
        cut_input = "".join(p + "\n" for p in CUT).encode()
        jobs = {
            # Through Wine's loader: starting a process through the helper
            # itself fails now and then under this load.
            "copy": lambda: self.wine.run_with_input(b"", "--copy_files", ";;;".join(COPIED)),
            "copy from standard input": lambda: self.wine.run_with_input(copy_input, "--copy_files_stdin"),
            "cut from standard input": lambda: self.wine.run_with_input(cut_input, "--cut_files_stdin"),
            "read": lambda: self.wine.run_with_input(b"", "--read_files_with_effect"),
            "outside holder": lambda: self.wine.helper("hold-for", "200"),
        }
        self.assertEqual(self.wine.run("--copy_files", ";;;".join(COPIED)).status, 0)
        with concurrent.futures.ThreadPoolExecutor(len(jobs) + 1) as pool:
            results = list(pool.map(lambda item: self.loop(*item), list(jobs.items()) + [("read", jobs["read"])]))
        counts = {what: len(outcomes) for what, outcomes in results}
        faults = [(what, why, done) for what, outcomes in results if what != "outside holder"
                  for done in outcomes if (why := unexpected(what, done))]
        print(counts, f"{len(self.wine.not_started)} started again after Wine's loader failed", file=sys.stderr)
        self.assertEqual(faults, [])
        self.assertGreater(counts["read"], 0)


if __name__ == "__main__":
    unittest.main()
