"""One file's pages in the operating system's page cache: evicted, loaded and counted through
vmtouch."""

import os
import re
import time

from suite.commands import run
from suite.messages import BenchError


class PageCache:
    def __init__(self, path):
        self.path = path

    def residency(self):
        out = run(["vmtouch", self.path]).stdout
        m = re.search(r"Resident Pages:\s*(\d+)/(\d+)", out)
        if not m:
            raise BenchError(f"unexpected vmtouch output:\n{out}")
        resident, total = int(m.group(1)), int(m.group(2))
        return resident / total if total else 1.0

    def evict(self):
        # Dirty pages cannot be dropped: a database made a moment ago is still being written back,
        # so its pages are flushed first and the eviction tried again while the disk catches up.
        for attempt in range(5):
            fd = os.open(self.path, os.O_RDONLY)
            try:
                os.fsync(fd)
            finally:
                os.close(fd)
            run(["vmtouch", "-eq", self.path])
            r = self.residency()
            if r <= 0.01:
                return r
            time.sleep(1)
        raise BenchError(f"{self.path} still {r:.1%} resident after eviction")

    def load(self):
        if self.residency() < 0.999:
            run(["vmtouch", "-tq", self.path])
        r = self.residency()
        if r < 0.99:
            raise BenchError(f"{self.path} only {r:.1%} resident after loading it")
        return r
