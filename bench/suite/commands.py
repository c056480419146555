"""Running the programs under test: a command timed by the wall clock, with its peak resident set
size from /usr/bin/time, inside the throttled group when one is set."""

import os
import subprocess
import time

from suite.messages import BenchError


def run(cmd, **kw):
    """A helper command whose output the suite reads (vmtouch, isql); not timed."""
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)


class Runner:
    """Runs one command under /usr/bin/time and returns its wall time, peak RSS and output."""

    def __init__(self, work):
        self.rss_file = os.path.join(work, "rss")
        self.out_file = os.path.join(work, "out")
        self.err_file = os.path.join(work, "err")
        self.group = None  # a throttled group (suite.storage.Group) that the commands run in

    def _enter_group(self):
        if self.group:
            self.group.add(os.getpid())

    def __call__(self, cmd, keep_output=True):
        """Returns standard output; with keep_output false it goes to /dev/null (as with
        `cat FILE > /dev/null`). Standard error is kept apart: fbwarm reports there, too."""
        with open(self.out_file, "w+", errors="replace") as out, open(self.err_file, "w+", errors="replace") as err:
            start = time.perf_counter()
            proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", self.rss_file] + cmd,
                                  stdout=out if keep_output else subprocess.DEVNULL, stderr=err,
                                  preexec_fn=self._enter_group)
            took = time.perf_counter() - start
            out.seek(0)
            text = out.read()
            err.seek(0)
            errors = err.read()
        if proc.returncode != 0:
            raise BenchError(f"{' '.join(cmd)} exited with {proc.returncode}:\n{text[-2000:]}\n{errors[-2000:]}")
        with open(self.rss_file) as f:
            rss_kib = int(f.read().split()[-1])
        return took, rss_kib, text
