"""A memory limit for the benchmark's processes, page cache included: a cgroup v1 memory group
(or v2 memory.max) beside the throttled block I/O group, so that the server and the warmers run
in both. The file pages a process reads are charged to its group; over the limit the kernel drops
the group's own cache first."""

import os
import time

from suite.messages import BenchError
from suite.storage import Group, read_or_empty, write

NAME = "fbwarm-bench-memory"


class MemoryGroup:
    def __init__(self):
        v1 = "/sys/fs/cgroup/memory"
        v2 = "/sys/fs/cgroup"
        if os.path.exists(os.path.join(v1, "memory.limit_in_bytes")):
            self.root, self.v2 = v1, False
        elif "memory" in read_or_empty(os.path.join(v2, "cgroup.controllers")).split():
            self.root, self.v2 = v2, True
        else:
            raise BenchError("no memory controller (neither cgroup v1 memory nor cgroup v2)")
        self.path = os.path.join(self.root, NAME)

    def create(self, limit_bytes):
        self.remove()
        if self.v2:
            write(os.path.join(self.root, "cgroup.subtree_control"), "+memory")
        os.mkdir(self.path)
        write(os.path.join(self.path, "memory.max" if self.v2 else "memory.limit_in_bytes"),
              str(limit_bytes))

    def add(self, pid):
        write(os.path.join(self.path, "cgroup.procs"), str(pid))

    def pids(self):
        return [int(p) for p in read_or_empty(os.path.join(self.path, "cgroup.procs")).split()]

    def remove(self):
        if not os.path.isdir(self.path):
            return
        for _ in range(10):
            pids = self.pids()
            if not pids:
                break
            for pid in pids:
                try:
                    write(os.path.join(self.root, "cgroup.procs"), str(pid))
                except ProcessLookupError:
                    pass
        for _ in range(50):
            try:
                os.rmdir(self.path)
                return
            except OSError:
                time.sleep(0.1)
        raise BenchError(f"cannot remove {self.path}")


class BothGroups:
    """The throttled group and the memory group as one: what Runner and Server.start put a
    process into."""

    def __init__(self, throttled: Group, memory: MemoryGroup):
        self.throttled, self.memory = throttled, memory
        self.path = f"{throttled.path} and {memory.path}"

    def add(self, pid):
        self.throttled.add(pid)
        self.memory.add(pid)

    def pids(self):
        return self.throttled.pids()


def cleanup():
    try:
        MemoryGroup().remove()
    except BenchError:
        pass
