"""The /FIT suite: a database about twice the memory limit, its index pages among its data pages
(made with every index before the load), the server and every warmer in a memory group and on a
throttled disk (the cloud profile, 125 MB/s and 3000 requests/s), a real restart with the file
evicted before each case, and random primary-key look-ups over every table right after the
warming. Cases: cold; after fbwarm; after fbwarm /FIT without a map (it reads the whole file to
make one) and with one; and the reference: the index, pointer and inventory pages read exactly,
nothing else. Rounds turn the order of the cases."""

import json
import os
import re
import shutil

from suite.memory_group import BothGroups, MemoryGroup
from suite.messages import BenchError, log
from suite.rounds import rotated, summary
from suite.storage import PROFILES, Disk, Group, Server

KEY = "fit"
SEED = 23
LOOKUPS = {"full": 2000, "tiny": 1000}
# The memory limit per database size: about half the file.
MEMORY_LIMIT = {"full": 3 << 30, "tiny": 1 << 30}


def stderr_figures(err):
    """What fbwarm /FIT said about its reads: the read-through's bytes and seconds, the plan's
    bytes and requests."""
    figures = {}
    m = re.search(r"^fbwarm: Dateicache: .*; gelesen ([0-9.]+) ([KMG]?B) in ([0-9.]+) s", err, re.M)
    if m:
        scale = {"B": 1, "KB": 1e3, "MB": 1e6, "GB": 1e9}[m.group(2)]
        figures["read_bytes"] = float(m.group(1)) * scale
        figures["read_s"] = float(m.group(3))
    m = re.search(r"nach Wert gelesen: ([0-9.]+) ([KMG]?B) in ([0-9]+) Anfragen", err)
    if m:
        scale = {"B": 1, "KB": 1e3, "MB": 1e6, "GB": 1e9}[m.group(2)]
        figures["plan_bytes"] = float(m.group(1)) * scale
        figures["plan_requests"] = int(m.group(3))
    return figures


def measure(ctx, unfinished=None):
    bps, iops = PROFILES["cloud"]
    disk = Disk(ctx.db)
    server = Server(ctx.root)
    throttled, memory = Group(), MemoryGroup()
    limit = MEMORY_LIMIT[ctx.size]
    state = os.path.join(ctx.work, "state")
    ranges = os.path.join(ctx.work, "index-ranges")
    fbwarm = ctx.fbwarm.full
    fit = ["env", f"XDG_STATE_HOME={state}", "STATE_DIRECTORY="] + fbwarm + ["/FIT"]
    reference = [ctx.programs.index_pages, "read", ctx.db, ranges]
    lookup = ctx.database.lookup_command(ctx.programs.lookups, f"{ctx.host}:{ctx.alias}", ctx.user,
                                         LOOKUPS[ctx.size], SEED)
    plan = json.loads(ctx.run([ctx.programs.index_pages, "plan", ctx.db, ranges]).out)
    # The budget that holds the index pages and no table: how long /FIT takes to make them
    # resident, beside what the throttle allows for its plan.
    index_mib = -(-plan["plan_bytes"] // (1 << 20)) + 1
    cases = [("cold", None), ("after fbwarm", fbwarm), ("after fbwarm /FIT, no map", fit),
             ("after fbwarm /FIT", fit), ("after fbwarm /FIT, index budget", fit + [f"/MAXMB:{index_mib}"]),
             ("reference", reference)]
    acc = {n: {"prep_s": [], "lookup_s": [], "p99_ms": [], "resident": [], "figures": []} for n, _ in cases}

    def restart():
        server.stop()
        try:
            ctx.cache.evict()
        finally:
            server.start(ctx.run.group)

    try:
        throttled.create()
        throttled.limit(disk.dev, bps, iops)
        memory.create(limit)
        ctx.run.group = BothGroups(throttled, memory)
        restart()
        ctx.run(fit)  # the first map, so that "with a map" has one in every round
        for r in range(ctx.runs):
            for name, prep in rotated(cases, r):
                if name.endswith("no map"):
                    shutil.rmtree(state, ignore_errors=True)
                restart()
                a = acc[name]
                if prep:
                    run = ctx.run(prep, keep_output=False)
                    a["prep_s"].append(run.secs)
                    a["figures"].append(stderr_figures(run.err))
                else:
                    a["prep_s"].append(0.0)
                a["resident"].append(ctx.cache.residency())
                q = ctx.database.timed_lookups(ctx.run, lookup)
                a["lookup_s"].append(q["total_s"])
                a["p99_ms"].append(q["p99_ms"])
            log(f"fit: round {r + 1}/{ctx.runs}")
    finally:
        ctx.run.group = None
        throttled.remove()
        memory.remove()
        server.ensure_running()
    return {"memory_limit": limit, "profile": {"bytes_per_s": bps, "requests_per_s": iops},
            "lookups": LOOKUPS[ctx.size], "index_plan": plan,
            "cases": {n: {k: (summary(v) if k != "figures" else v) for k, v in a.items()}
                      for n, a in acc.items()},
            "commands": ctx.shown([(n, p) for n, p in cases if p] + [("look-ups", lookup)])}
