"""5. Slow storage: per throttle profile, the first look-ups and the first full scan after a real
restart (slow_first_runs), the read-through against other readers at two read-ahead sizes
(slow_readers), and fbwarm's full run against the scripted combination of vmtouch and fbsvcmgr
(slow_scripted). The unthrottled disk first, as the profile "none"."""

from measurements import slow_first_runs, slow_readers, slow_scripted
from suite.messages import BenchError, log
from suite.storage import PROFILES, Disk, Group, Server

KEY = "slow"
READ_AHEADS_KB = (8192, 128)


class Storage:
    """The disk under the database, the throttled group the server and the timed commands run
    in, and the server's restarts; the parts of a profile measure through it."""

    def __init__(self, ctx):
        self.ctx = ctx
        self.disk = Disk(ctx.db)
        self.server = Server(ctx.root)
        self.group = None
        self.profile = "none"

    def enter_group(self, bps, iops):
        self.group = Group()
        self.group.create()
        self.group.limit(self.disk.dev, bps, iops)
        self.ctx.run.group = self.group
        self.restart()

    def leave_group(self):
        """The server and every other process leave the group before it goes; the server keeps
        running (others use it)."""
        self.ctx.run.group = None
        if self.group:
            self.group.remove()
            self.group = None
        self.server.ensure_running()

    def restart(self, state="cold"):
        """Server stopped and started (its page cache empty), the file evicted or loaded meanwhile
        ("cold", "warm") or left as it is (None)."""
        self.server.stop()
        try:
            if state == "cold":
                self.ctx.cache.evict()
            elif state == "warm":
                self.ctx.cache.load()
        finally:
            self.server.start(self.group)

    def throttle_unavailable(self):
        """Why the throttled profiles cannot run here (no controller, a read-only cgroup or sysfs
        as in many containers), or None."""
        try:
            group = Group()
            group.create()
            group.remove()
            self.disk.set_read_ahead_kb(self.disk.read_ahead_kb())
            Disk.restore_read_ahead()
        except (BenchError, OSError) as e:
            return str(e)
        return None


def parts(name):
    found = {"first_runs": slow_first_runs.measure}
    if name in ("none", "cloud"):
        found["scripted"] = slow_scripted.measure
    if name != "none":
        found["readers"] = lambda ctx, storage: {str(kb): slow_readers.measure(ctx, storage, kb)
                                                 for kb in READ_AHEADS_KB}
    return found


def measure_profile(ctx, storage, out, name):
    # A resumed run keeps the parts of a profile that were measured already.
    res = out["profiles"].setdefault(name, {})
    todo = {p: m for p, m in parts(name).items() if p not in res}
    if not todo:
        return
    storage.profile = name
    if name != "none":
        storage.enter_group(*PROFILES[name])
    for part, measure_part in todo.items():
        res[part] = ctx.timed(f"{name} {part.replace('_', ' ')}", lambda: measure_part(ctx, storage))
        storage.disk.restore_read_ahead()
        ctx.checkpoint(KEY, out)
    storage.leave_group()


def measure(ctx, done):
    storage = Storage(ctx)
    disk = storage.disk
    out = done or {"disk": disk.name, "dev": disk.dev, "max_request_kb": disk.max_request_kb(),
                   "read_ahead_kb": disk.read_ahead_kb(), "profiles": {}}
    out["skip_cached"] = ctx.fbwarm.skip_cached
    out["fbwarm"] = ctx.programs.fbwarm
    try:
        ctx.run.group = None
        measure_profile(ctx, storage, out, "none")
        reason = storage.throttle_unavailable()
        if reason:
            log(f"throttled profiles skipped: {reason}")
            out["skipped"] = reason
            return out
        for name in PROFILES:
            measure_profile(ctx, storage, out, name)
    finally:
        out["forced_stops"] = storage.server.forced_stops
        storage.leave_group()
        Disk.restore_read_ahead()
    return out
