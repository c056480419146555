"""What a measurement is handed: the database and the programs under test, how many rounds, and
the tools to run them with. A measurement reads what it needs from here and returns its results;
it never reaches into another measurement."""

import json
import os
import time
from dataclasses import dataclass, field

from suite import fbwarm
from suite.commands import Runner
from suite.database import Database
from suite.fbwarm import FbWarm
from suite.page_cache import PageCache

HOST = "127.0.0.1"


@dataclass
class Programs:
    fbwarm: str  # the program under test, build/fbwarm unless another is named
    hooks: str  # build/fbwarm-test-hooks
    lookups: str  # build/lookup_bench
    residency_cost: str  # build/residency_cost


@dataclass
class Context:
    db: str  # the database file, as the server and this machine see it
    alias: str  # a server-side alias of the same database
    user: str
    password: str
    size: str  # "full" or "tiny"
    runs: int
    root: str  # the source tree
    out: str  # where the results go
    work: str  # a temporary directory for the run
    programs: Programs
    fb_root: str = ""  # the root the Firebird 4 server runs in; empty for this machine's server
    results: dict = field(default_factory=dict)  # the suite's results so far
    host: str = HOST

    def __post_init__(self):
        self.run = Runner(self.work)
        self.cache = PageCache(self.db)
        self.fbwarm = FbWarm(self.programs.fbwarm, self.programs.hooks, self.db, self.alias, self.user,
                             self.password)
        self.database = Database(self.host, self.alias, self.user, self.password, self.work)

    def shown(self, cases):
        """The commands of (name, command) cases as the report names them."""
        return {name: fbwarm.shown(cmd, self.root) for name, cmd in cases}

    def timed(self, label, measure):
        """Runs one part and keeps how long it took, so that the suite's length is on record."""
        start = time.monotonic()
        result = measure()
        self.results.setdefault("durations_s", {})[label] = round(time.monotonic() - start, 1)
        return result

    def checkpoint(self, key=None, unfinished=None):
        """Keeps what was measured so far, for a run that fails later (bench/run's
        FBWARM_BENCH_RESUME): the finished sections, and the parts of the section key that are
        done while it goes on."""
        kept = self.results | ({"unfinished": {key: unfinished}} if key else {})
        with open(os.path.join(self.out, "results-partial.json"), "w") as f:
            json.dump(kept, f, indent=1)
