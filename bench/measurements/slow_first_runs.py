"""The first look-ups and the first full scan after a real restart, on one storage profile: cold,
after fbwarm, after vmtouch -t, and fully warm."""


from suite import fbwarm
from suite.messages import BenchError, log
from suite.rounds import rotated, summary

SEED = 15
# Look-ups per workload: the spinning profile allows 150 reads a second, so it gets fewer.
LOOKUPS = {"full": {"spinning": 500, "other": 2000}, "tiny": {"spinning": 50, "other": 200}}


def lookup_command(ctx, profile):
    count = LOOKUPS[ctx.size]["spinning" if profile == "spinning" else "other"]
    return ctx.database.lookup_command(ctx.programs.lookups, f"{ctx.host}:{ctx.alias}", ctx.user, count, SEED)


def measure(ctx, storage):
    full = ctx.fbwarm.full
    cases = [("cold", None), ("after fbwarm", full), ("after vmtouch -t", ["vmtouch", "-tq", ctx.db]),
             ("fully warm", None)]
    lookup, scan = lookup_command(ctx, storage.profile), ctx.database.scan_command()
    acc = {n: {"lookup_s": [], "p50_ms": [], "p99_ms": [], "scan": [], "prep": [], "resident": [],
               "resident_scan": [], "scan_read_mb": []} for n, _ in cases}
    found = set()
    for r in range(ctx.runs):
        for name, prep in rotated(cases, r):
            a = acc[name]
            storage.restart("warm" if name == "fully warm" else "cold")
            prep_secs = 0.0
            if prep:
                run = ctx.run(prep, keep_output=prep is full)
                if prep is full:
                    fbwarm.check_output(run.out, with_read_through=True)
                prep_secs = run.secs
            a["prep"].append(prep_secs)
            a["resident"].append(ctx.cache.residency())
            q = ctx.database.timed_lookups(ctx.run, lookup)
            found.add(q["found"])
            a["lookup_s"].append(q["total_s"])
            a["p50_ms"].append(q["p50_ms"])
            a["p99_ms"].append(q["p99_ms"])
            # The cold scan starts from an evicted file again; the others keep the warmed file.
            storage.restart("cold" if name == "cold" else None)
            # What the scan found in the cache and what it had to fetch from the disk: the
            # cache can lose pages between the warming and the scan (memory reclaim).
            a["resident_scan"].append(ctx.cache.residency())
            read_before = storage.disk.bytes_read()
            a["scan"].append(ctx.database.timed_scan(ctx.run, scan))
            a["scan_read_mb"].append((storage.disk.bytes_read() - read_before) / 1e6)
        log(f"{storage.profile}: first look-ups and scan, round {r + 1}/{ctx.runs}")
    if len(found) != 1:
        raise BenchError(f"the look-ups found different numbers of rows: {sorted(found)}")
    return {"lookups": int(lookup[3]), "found": found.pop(),
            "cases": {n: {k: summary(v) for k, v in a.items()} for n, a in acc.items()},
            "commands": ctx.shown([(n, prep) for n, prep in cases if prep]
                                  + [("look-ups", lookup), ("full scan", scan)])}
