"""The fbwarm commands the suite times, the checks that a run printed what a good run prints,
and how a command is shown in the report."""

import os
import socket

from suite.messages import BenchError, log

SKIP_PARAM = "/SKIPCACHED"
MINCORE_CASE = "fbwarm-test-hooks /SKIPCACHED (mincore)"


def supports_skip_cached(binary):
    """True when the binary knows the parameter: its name is in the program as text (UTF-16 or
    not), since an unknown parameter is silently ignored and cannot be told apart by a run."""
    with open(binary, "rb") as f:
        data = f.read()
    name = SKIP_PARAM[1:]
    return name.encode("utf-16-le") in data or name.encode() in data


class FbWarm:
    def __init__(self, binary, hooks, db, alias, user, password):
        self.binary = binary
        self.hooks = hooks  # build/fbwarm-test-hooks: the same program with the test seam
        self.login = [f"/USER:{user}", f"/PASSWORD:{password}"]
        self.full = [binary, f"/DB:{db}"] + self.login
        # The statistics action alone, on the same database as the server's own tools: fbwarm
        # reads an alias of the local server through as its file, so it runs where the file's
        # directory is hidden (an empty tmpfs over it in a mount namespace of its own) and skips
        # its read-through, while the server outside still reads the file.
        hide = 'mount -t tmpfs fbwarm-bench "$1" && shift && exec "$@"'
        self.stats = ["unshare", "--mount", "--propagation", "private", "sh", "-c", hide, "sh",
                      os.path.dirname(db), binary, f"/DB:{alias}"] + self.login
        self.skip_cached = supports_skip_cached(binary)
        self._refusing = None

    def read_through(self, path):
        """fbwarm's run on path up to the end of its read-through step: the server it names is a
        loopback port that refuses (bound, never listening), so the run ends with the attachment
        that fails at once, and no server reads the file meanwhile. Timed to its "server" record
        by read_through_seconds."""
        if self._refusing is None:
            self._refusing = socket.socket()
            self._refusing.bind(("127.0.0.1", 0))
        port = self._refusing.getsockname()[1]
        return [self.binary, f"/DB:{path}", f"/SERVER:127.0.0.1/{port}"] + self.login

    def skip_cases(self):
        # The residency check asks cachestat where the kernel has it. The mincore path, the one
        # older kernels take, is forced in build/fbwarm-test-hooks (fbwarm with the test seam,
        # the normal preset's build), never in the program itself.
        skip = self.full + [SKIP_PARAM]
        cases = [("fbwarm /SKIPCACHED", skip)]
        if os.access(self.hooks, os.X_OK):
            cases.append((MINCORE_CASE, ["env", "FBWARM_TEST_RESIDENCY=mincore", self.hooks] + skip[1:]))
        else:
            log(f"mincore case skipped: {self.hooks} is not built (cmake --build --preset normal)")
        return cases


def is_fbwarm(cmd):
    """fbwarm itself or the test-hooks program, also behind env or unshare."""
    return any(os.path.basename(word) in ("fbwarm", "fbwarm-test-hooks") for word in cmd)


def check_output(text, with_read_through):
    lines = [l.rstrip("\r") for l in text.split("\n")]
    first = "Natives FileCache Start..." if with_read_through else "Natives FileCache kann nur"
    if not lines or not lines[0].startswith(first):
        raise BenchError(f"fbwarm did not begin with '{first}':\n{text[:2000]}")
    if not any(l.startswith("Analyzing database pages") for l in lines):
        raise BenchError(f"fbwarm printed no statistics report:\n{text[-2000:]}")
    last = [l for l in lines if l.strip()][-1]
    # A run under 2000 ms ends with "Fehler aufgetreten" by design; only other errors stop the bench.
    if not (last.startswith("Fertig! (DB=") or last == "FEHLER Fehler aufgetreten"):
        raise BenchError(f"fbwarm failed: {last}")


def read_through_seconds(run):
    """The seconds from fbwarm's start to the end of its read-through step (its "server" record),
    after checking that the step read the whole file."""
    lines = [l.rstrip("\r") for l in run.out.split("\n")]
    if lines[:2] != ["Natives FileCache Start...", "Natives FileCache Fertig."]:
        raise BenchError(f"fbwarm did not read the file through:\n{run.out[:2000]}\n{run.err[-2000:]}")
    reads = [line.split() for _, line in run.records if line.startswith("read ")]
    if not reads or reads[-1][1] != reads[-1][2]:
        raise BenchError(f"fbwarm's read-through stopped short: {reads[-1:] or 'nothing read'}\n{run.err[-2000:]}")
    ends = [at for at, line in run.records if line == "server"]
    if not ends:
        raise BenchError(f"fbwarm gave no record at the end of its read-through:\n{run.records}")
    return ends[0]


def shown(cmd, root):
    """The command as the report names it: programs of the source tree by their path in it, and
    passwords masked."""
    words, hide_next = [], False
    for word in cmd:
        if hide_next:
            word, hide_next = "…", False
        elif word.upper().startswith("/PASSWORD:"):
            word = word[:10] + "…"
        elif word in ("password", "-p"):
            hide_next = True
        elif os.path.isabs(word) and word.startswith(root.rstrip("/") + "/"):
            word = os.path.relpath(word, root)
        words.append(word)
    return " ".join(words)
