"""The server's own page cache: on a copy of the benchmark database whose page buffers hold all
of it (the engine reads it with O_DIRECT, past the file cache) and that lingers 900 s
(bench/servercache-database), throttled to the named profile with the server inside the group,
the first look-ups after a real restart: cold, after fbwarm, after fbwarm /SERVERCACHE, and after
a full engine read of every table and primary key (the reference). bench/run-servercache makes
the copy and runs this suite on it."""

import os
import re
import subprocess

from suite import fbwarm
from suite.messages import BenchError, log
from suite.rounds import rotated, summary
from suite.storage import MB, Disk, Group, Server

KEY = "server_cache"
PROFILE = ("500 MB/s, 3000 IOPS", 500 * MB, 3000)
LOOKUPS = 2000
SEED = 15
SUMMARY = re.compile(r"fbwarm: SERVERCACHE: (\d+) Seiten .* in ([0-9.]+) s in den Seitencache des Servers geholt, "
                     r"(nach Wert geordnet|in Dateireihenfolge), davon (\d+) aus der Datei gelesen")


def reference_command(ctx, db):
    """Every table counted, then counted again through its primary key (a navigational scan in
    key order fetches the index's pages and every record)."""
    sql = "".join(f"SELECT COUNT(*) FROM {t};\nSELECT COUNT(*) FROM (SELECT ID FROM {t} ORDER BY ID);\n"
                  for t in ctx.database.tables())
    path = os.path.join(ctx.work, "reference.sql")
    with open(path, "w") as f:
        f.write(f"CONNECT '{ctx.host}:{db}' USER '{ctx.user}' PASSWORD '{ctx.password}';\n" + sql)
    return ["isql-fb", "-q", "-bail", "-i", path]


def server_reads(ctx, db):
    """The page reads and fetches of the whole database since the server opened it (MON$IO_STATS of
    the database, stat group 0), asked after the warm-up."""
    sql = ("SET HEADING OFF;\nSELECT io.MON$PAGE_READS, io.MON$PAGE_FETCHES FROM MON$IO_STATS io "
           "WHERE io.MON$STAT_GROUP = 0;\n")
    path = os.path.join(ctx.work, "reads.sql")
    with open(path, "w") as f:
        f.write(f"CONNECT '{ctx.host}:{db}' USER '{ctx.user}' PASSWORD '{ctx.password}';\n" + sql)
    out = subprocess.run(["isql-fb", "-q", "-bail", "-i", path], check=True, stdout=subprocess.PIPE,
                         text=True).stdout
    m = re.search(r"(\d+)\s+(\d+)", out)
    if not m:
        raise BenchError(f"no page counters:\n{out}")
    return int(m.group(1)), int(m.group(2))


def measure(ctx, done):
    db = ctx.db
    disk = Disk(db)
    server = Server(ctx.root)
    full = [ctx.programs.fbwarm, f"/DB:{db}", f"/USER:{ctx.user}", f"/PASSWORD:{ctx.password}"]
    cases = [("cold", None), ("after fbwarm", full), ("after fbwarm /SERVERCACHE", full + ["/SERVERCACHE"]),
             ("reference: full engine read", reference_command(ctx, db))]
    lookup = ctx.database.lookup_command(ctx.programs.lookups, f"{ctx.host}:{db}", ctx.user, LOOKUPS, SEED)
    acc = {n: {"lookup_s": [], "p50_ms": [], "p99_ms": [], "prep_s": [], "prep_read_mb": [],
               "prep_page_reads": []} for n, _ in cases}
    step = {"pages": [], "secs": [], "file_reads": [], "order": []}
    found = set()
    name_, bps, iops = PROFILE
    group = Group()
    group.create()
    try:
        group.limit(disk.dev, bps, iops)
        ctx.run.group = group
        for r in range(ctx.runs):
            for name, prep in rotated(cases, r):
                a = acc[name]
                server.stop()
                ctx.cache.evict()
                server.start(group)
                read_before = disk.bytes_read()
                secs = 0.0
                if prep:
                    run = ctx.run(prep, keep_output=True)
                    secs = run.secs
                    if prep[0] == ctx.programs.fbwarm:
                        fbwarm.check_output(run.out, with_read_through=True)
                    m = SUMMARY.search(run.err)
                    if prep is cases[2][1]:
                        if not m:
                            raise BenchError(f"no server-cache summary:\n{run.err[-3000:]}")
                        step["pages"].append(int(m.group(1)))
                        step["secs"].append(float(m.group(2)))
                        step["order"].append(m.group(3))
                        step["file_reads"].append(int(m.group(4)))
                a["prep_s"].append(secs)
                a["prep_read_mb"].append((disk.bytes_read() - read_before) / 1e6)
                a["prep_page_reads"].append(server_reads(ctx, db)[0])
                q = ctx.database.timed_lookups(ctx.run, lookup)
                found.add(q["found"])
                a["lookup_s"].append(q["total_s"])
                a["p50_ms"].append(q["p50_ms"])
                a["p99_ms"].append(q["p99_ms"])
            log(f"server cache: round {r + 1}/{ctx.runs}")
    finally:
        ctx.run.group = None
        group.remove()
        server.stop()
        server.ensure_running()
    if len(found) != 1:
        raise BenchError(f"the look-ups found different numbers of rows: {sorted(found)}")
    return {"profile": {"name": name_, "bps": bps, "iops": iops}, "database": db, "bytes": os.path.getsize(db),
            "lookups": LOOKUPS, "found": found.pop(),
            "cases": {n: {k: summary(v) for k, v in a.items()} for n, a in acc.items()},
            "step": step, "commands": ctx.shown([(n, p) for n, p in cases if p] + [("look-ups", lookup)])}

