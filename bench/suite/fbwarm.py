"""The fbwarm commands the suite times, and the check that a run printed what a good run prints."""

import os

from suite.messages import BenchError, log

SKIP_PARAM = "/SKIPCACHED"


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
        login = [f"/USER:{user}", f"/PASSWORD:{password}"]
        self.full = [binary, f"/DB:{db}"] + login
        # The alias names no local file, so fbwarm skips its read-through and runs the statistics
        # action alone, on the same database as the server's own tools.
        self.stats = [binary, f"/DB:{alias}"] + login
        self.skip_cached = supports_skip_cached(binary)

    def skip_cases(self):
        # The residency check asks cachestat where the kernel has it. The mincore path, the one
        # older kernels take, is forced in build/fbwarm-test-hooks (fbwarm with the test seam,
        # the normal preset's build), never in the program itself; its case name says so.
        skip = self.full + [SKIP_PARAM]
        cases = [("fbwarm /SKIPCACHED", skip)]
        if os.access(self.hooks, os.X_OK):
            cases.append((f"FBWARM_TEST_RESIDENCY=mincore {os.path.normpath(self.hooks)} /SKIPCACHED",
                          ["env", "FBWARM_TEST_RESIDENCY=mincore", self.hooks] + skip[1:]))
        else:
            log(f"mincore case skipped: {self.hooks} is not built (cmake --build --preset normal)")
        return cases


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
