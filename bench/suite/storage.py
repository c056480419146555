"""Slow storage for the benchmark: a block I/O throttle on the whole disk that holds the database
(cgroup v1 blkio, or io.max on cgroup v2), the disk's read-ahead, and restarts of the local
Firebird server inside or outside the throttled group.

Whatever happens, the server is left running outside the group, the group is removed and the
read-ahead set back; a run that was killed is cleaned up by the next one
(`python3 -m suite.storage --cleanup ROOT` from bench/, which bench/run does first)."""

import os
import re
import signal
import subprocess
import sys
import time

from suite.messages import BenchError, log

GROUP_NAME = "fbwarm-bench"
# The disk's read-ahead before the bench changed it, kept here so that a killed run can be undone.
READ_AHEAD_STATE = "/run/fbwarm-bench-read-ahead"
MB = 1_000_000
PID_FILE = "/run/firebird3.0/firebird.pid"  # written by fbguard, as scripts/lib/firebird.sh says

# name: (bytes per second, read requests per second)
PROFILES = {
    "cloud": (125 * MB, 3000),
    "spinning": (150 * MB, 150),
}


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


def read(path):
    with open(path) as f:
        return f.read()


class Disk:
    """The whole disk (not the partition) that holds a file."""

    def __init__(self, path):
        dev = os.stat(path).st_dev
        sys_dir = os.path.realpath(f"/sys/dev/block/{os.major(dev)}:{os.minor(dev)}")
        if os.path.exists(os.path.join(sys_dir, "partition")):
            sys_dir = os.path.dirname(sys_dir)
        self.sys_dir = sys_dir
        self.name = os.path.basename(sys_dir)
        self.dev = read(os.path.join(sys_dir, "dev")).strip()  # MAJ:MIN

    def _ra_file(self):
        return os.path.join(self.sys_dir, "queue", "read_ahead_kb")

    def read_ahead_kb(self):
        return int(read(self._ra_file()))

    def set_read_ahead_kb(self, kb):
        if not os.path.exists(READ_AHEAD_STATE):
            write(READ_AHEAD_STATE, f"{self._ra_file()} {self.read_ahead_kb()}\n")
        write(self._ra_file(), str(kb))

    @staticmethod
    def restore_read_ahead():
        if os.path.exists(READ_AHEAD_STATE):
            path, kb = read(READ_AHEAD_STATE).split()
            write(path, kb)
            os.remove(READ_AHEAD_STATE)
            log(f"read-ahead of {path} set back to {kb} KiB")

    def bytes_read(self):
        """Bytes read from the whole disk so far, by anyone (the kernel's block statistics)."""
        return int(read(os.path.join(self.sys_dir, "stat")).split()[2]) * 512

    def max_request_kb(self):
        return int(read(os.path.join(self.sys_dir, "queue", "max_sectors_kb")))


class Group:
    """A throttled cgroup. Processes are put in by process id; removing the group moves every
    process still in it back to the root group first (the server among them)."""

    def __init__(self):
        v1 = "/sys/fs/cgroup/blkio"
        v2 = "/sys/fs/cgroup"
        if os.path.exists(os.path.join(v1, "blkio.throttle.read_bps_device")):
            self.root, self.v2 = v1, False
        elif "io" in read_or_empty(os.path.join(v2, "cgroup.controllers")).split():
            self.root, self.v2 = v2, True
        else:
            raise BenchError("no block I/O controller (neither cgroup v1 blkio nor cgroup v2 io)")
        self.path = os.path.join(self.root, GROUP_NAME)

    def create(self):
        self.remove()
        if self.v2:
            write(os.path.join(self.root, "cgroup.subtree_control"), "+io")
        os.mkdir(self.path)

    def limit(self, dev, bps, iops):
        if self.v2:
            write(os.path.join(self.path, "io.max"), f"{dev} rbps={bps} riops={iops}")
        else:
            write(os.path.join(self.path, "blkio.throttle.read_bps_device"), f"{dev} {bps}")
            write(os.path.join(self.path, "blkio.throttle.read_iops_device"), f"{dev} {iops}")

    def add(self, pid):
        write(os.path.join(self.path, "cgroup.procs"), str(pid))

    def pids(self):
        return [int(p) for p in read_or_empty(os.path.join(self.path, "cgroup.procs")).split()]

    def move_all_out(self):
        for _ in range(10):  # a process may fork while being moved
            pids = self.pids()
            if not pids:
                return
            for pid in pids:
                try:
                    write(os.path.join(self.root, "cgroup.procs"), str(pid))
                except ProcessLookupError:
                    pass
        raise BenchError(f"processes still in {self.path}: {self.pids()}")

    def remove(self):
        if not os.path.isdir(self.path):
            return
        self.move_all_out()
        for _ in range(50):
            try:
                os.rmdir(self.path)
                return
            except OSError:  # busy for a moment after the last process left
                time.sleep(0.1)
        raise BenchError(f"cannot remove {self.path}")


def read_or_empty(path):
    try:
        return read(path)
    except OSError:
        return ""


class Server:
    """Stops and starts the shared local server (scripts/firebird-down, firebird-up)."""

    def __init__(self, root):
        self.scripts = os.path.join(root, "scripts")
        self.forced_stops = 0

    def stop(self):
        """A server that does not end within firebird-down's 30 s (it finishes what other users'
        attachments asked for, at the throttled speed) is killed: the bench started it."""
        pid = self.server_pid()
        if pid and not read_or_empty(PID_FILE).strip():
            # Started by someone whose pid file is gone: firebird-down would think nothing runs.
            write(PID_FILE, pid + "\n")
        down = subprocess.run([os.path.join(self.scripts, "firebird-down")], stderr=subprocess.PIPE, text=True)
        if down.returncode == 0:
            return
        if not pid.isdigit():
            raise BenchError(f"firebird-down failed: {down.stderr.strip()}")
        log(f"server {pid} still running after firebird-down; killed")
        self.forced_stops += 1
        try:
            os.kill(int(pid), signal.SIGKILL)
        except ProcessLookupError:
            pass
        while os.path.exists(f"/proc/{pid}"):
            time.sleep(0.1)
        if os.path.exists(PID_FILE):
            os.remove(PID_FILE)

    def start(self, group=None):
        # fbguard and the server inherit the group of the shell that starts them.
        enter = (lambda: group.add(os.getpid())) if group else None
        subprocess.run([os.path.join(self.scripts, "firebird-up")], check=True, stderr=subprocess.DEVNULL,
                       preexec_fn=enter)
        pid = self.server_pid()
        if group and (not pid or int(pid) not in group.pids()):
            raise BenchError(f"the server ({pid or 'not found'}) did not start inside {group.path}: "
                               "was it started by someone else meanwhile?")

    @staticmethod
    def server_pid():
        """Process id of the program listening on the server's port, as text, or ''."""
        out = subprocess.run(["ss", "-Hltnp", "sport = :3050"], stdout=subprocess.PIPE, text=True).stdout
        m = re.search(r"pid=(\d+)", out)
        return m.group(1) if m else ""

    def ensure_running(self):
        subprocess.run([os.path.join(self.scripts, "firebird-up")], check=True)


def cleanup(root):
    """Undoes what a killed run may have left: processes in the group, the group, the read-ahead."""
    try:
        group = Group()
        if os.path.isdir(group.path):
            log(f"removing the group {group.path} left by an earlier run")
            group.remove()
    except BenchError:
        pass
    Disk.restore_read_ahead()
    Server(root).ensure_running()


if __name__ == "__main__":
    if sys.argv[1:2] != ["--cleanup"] or len(sys.argv) != 3:
        sys.exit("usage: python3 -m suite.storage --cleanup ROOT")
    cleanup(sys.argv[2])
