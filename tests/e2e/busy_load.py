"""Keeps every core busy while a test runs, as a small music box often is.

    with BusyLoad(seconds=120):
        ...  # the test, with each core loaded by a niced busy loop

One process per core spins at nice 19 until the block ends or `seconds` have
passed, whichever comes first, so a test that dies still leaves no load behind.
"""

import os
import subprocess
import sys

_SPIN = "import time,sys\nend=time.monotonic()+float(sys.argv[1])\nwhile time.monotonic()<end: pass\n"


class BusyLoad:
    """Context manager: niced busy loops, one per core, bounded in time."""

    def __init__(self, seconds=120.0, cores=None):
        self.seconds = seconds
        self.cores = cores or os.cpu_count() or 2
        self.processes = []

    def __enter__(self):
        for _ in range(self.cores):
            self.processes.append(subprocess.Popen(
                ["nice", "-n", "19", sys.executable, "-c", _SPIN, str(self.seconds)],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        return self

    def __exit__(self, *exc):
        for p in self.processes:
            p.kill()
        for p in self.processes:
            p.wait()
        self.processes = []
        return False
