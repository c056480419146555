"""1. The OS file cache: fbwarm's read-through against cat, dd and vmtouch, cold and warm, and
the device's own limit (a single stream of O_DIRECT reads)."""

import statistics

from suite import fbwarm
from suite.messages import log
from suite.rounds import rotated, summary

KEY = "file_cache"
READ_THROUGH = "fbwarm read-through"


def tools(ctx):
    db = ctx.db
    return [
        (READ_THROUGH, ctx.fbwarm.read_through(db)),
        ("cat", ["cat", db]),
        ("dd bs=64M", ["dd", f"if={db}", "of=/dev/null", "bs=64M", "status=none"]),
        ("vmtouch -t", ["vmtouch", "-tq", db]),
    ]


def device(ctx):
    return ("O_DIRECT dd bs=64M (device)",
            ["dd", f"if={ctx.db}", "of=/dev/null", "bs=64M", "iflag=direct", "status=none"])


def timed(ctx, name, cmd):
    """Seconds and peak RSS of one run; fbwarm's up to the end of its read-through step."""
    if name == READ_THROUGH:
        run = ctx.run(cmd, records=True)
        return fbwarm.read_through_seconds(run), run.rss_kib
    run = ctx.run(cmd, keep_output=False)
    return run.secs, run.rss_kib


def measure_state(ctx, state, names):
    acc = {n: {"secs": [], "rss": [], "before": [], "after": []} for n, _ in names}
    for r in range(ctx.runs):
        for name, cmd in rotated(names, r):
            before = ctx.cache.evict() if state == "cold" else ctx.cache.load()
            took, rss = timed(ctx, name, cmd)
            a = acc[name]
            a["secs"].append(took)
            a["rss"].append(rss)
            a["before"].append(before)
            a["after"].append(ctx.cache.residency())
        log(f"file cache, {state}, round {r + 1}/{ctx.runs}")
    return {n: {"secs": summary(a["secs"]), "rss_kib": max(a["rss"]),
                "residency_before": max(a["before"]) if state == "cold" else min(a["before"]),
                "residency_after": statistics.median(a["after"])}
            for n, a in acc.items()}


def measure(ctx, done):
    cases = tools(ctx) + [device(ctx)]
    return ctx.timed("file cache", lambda: {
        "cold": measure_state(ctx, "cold", cases),
        "warm": measure_state(ctx, "warm", cases[:-1]),
        "commands": ctx.shown(cases),
    })
