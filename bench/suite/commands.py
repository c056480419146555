"""Running the programs under test: a command timed by the wall clock, with its peak resident set
size from /usr/bin/time, inside the throttled group when one is set; for fbwarm also the moments
its result records arrived (FBWARM_RESULT_FD)."""

import os
import subprocess
import time
from dataclasses import dataclass, field

from suite.messages import BenchError


def run(cmd, **kw):
    """A helper command whose output the suite reads (vmtouch, isql); not timed."""
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)


@dataclass
class Run:
    secs: float  # from the start to the end of the process
    rss_kib: int  # peak resident set size
    out: str  # standard output ("" when it went to /dev/null)
    err: str  # standard error
    records: list = field(default_factory=list)  # (seconds from the start, record line) in order


class Runner:
    def __init__(self, work):
        self.rss_file = os.path.join(work, "rss")
        self.out_file = os.path.join(work, "out")
        self.err_file = os.path.join(work, "err")
        self.group = None  # a throttled group (suite.storage.Group) that the commands run in

    def _enter_group(self):
        if self.group:
            self.group.add(os.getpid())

    def __call__(self, cmd, keep_output=True, records=False):
        """Runs cmd to its end. Standard output goes to /dev/null without keep_output (as with
        `cat FILE > /dev/null`); standard error is kept apart, fbwarm reports there too. With
        records, fbwarm's result records come through a pipe and each is timed as it arrives."""
        with open(self.out_file, "w+", errors="replace") as out, open(self.err_file, "w+", errors="replace") as err:
            start = time.perf_counter()
            proc, arrived = self._run(cmd, out if keep_output else subprocess.DEVNULL, err, records, start)
            took = time.perf_counter() - start
            out.seek(0)
            text = out.read()
            err.seek(0)
            errors = err.read()
        if proc.returncode != 0:
            raise BenchError(f"{' '.join(cmd)} exited with {proc.returncode}:\n{text[-2000:]}\n{errors[-2000:]}")
        with open(self.rss_file) as f:
            rss_kib = int(f.read().split()[-1])
        return Run(took, rss_kib, text, errors, arrived)

    def _run(self, cmd, out, err, records, start):
        timed = ["/usr/bin/time", "-f", "%M", "-o", self.rss_file] + cmd
        if not records:
            return subprocess.run(timed, stdout=out, stderr=err, preexec_fn=self._enter_group), []
        read_end, write_end = os.pipe()
        try:
            proc = subprocess.Popen(timed, stdout=out, stderr=err, preexec_fn=self._enter_group,
                                    pass_fds=(write_end,), env=os.environ | {"FBWARM_RESULT_FD": str(write_end)})
        except BaseException:
            os.close(read_end)
            raise
        finally:
            os.close(write_end)
        arrived, pending = [], b""
        with os.fdopen(read_end, "rb", buffering=0) as pipe:
            while chunk := pipe.read(65536):
                now = time.perf_counter() - start
                *lines, pending = (pending + chunk).split(b"\n")
                arrived.extend((now, line.decode(errors="replace")) for line in lines)
        proc.wait()
        return proc, arrived
