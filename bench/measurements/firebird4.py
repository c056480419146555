"""The Firebird 4 suite: fbwarm's full run against the Firebird 4 server beside that server's own
statistics run (fbsvcmgr of Firebird 4, inside its Debian 13 root), with the database file
evicted (cold) and wholly cached (warm), in rounds whose order turns. fbwarm runs with this
machine's Firebird 3 client and with Firebird 4's through scripts/debian13-run."""

import os
import re

from suite.messages import BenchError, log
from suite.rounds import rotated, summary

KEY = "firebird4"
SERVER = "127.0.0.1/3051"
FBSVCMGR = "fbsvcmgr action_db_stats (Firebird 4)"


def read_through_secs(err):
    """The read-through's own time from fbwarm's residency line on standard error, or None."""
    m = re.search(r"^fbwarm: Dateicache: .*; gelesen .* in ([0-9.]+) s", err, re.M)
    return float(m.group(1)) if m else None


def check_report(name, text):
    lines = [line.rstrip("\r") for line in text.split("\n")]
    if not any(line.startswith("Analyzing database pages") for line in lines):
        raise BenchError(f"{name} printed no statistics report:\n{text[-2000:]}")
    if name.startswith("fbwarm"):
        last = [line for line in lines if line.strip()][-1]
        # A run under 2000 ms ends with "Fehler aufgetreten" by design; other errors stop the bench.
        if not (last.startswith("Fertig! (DB=") or last == "FEHLER Fehler aufgetreten"):
            raise BenchError(f"{name} failed: {last}")


def in_root(ctx, cmd):
    """A program of the Firebird 4 root, run there."""
    return ["chroot", ctx.fb_root, "/usr/bin/env", "-i", "PATH=/usr/bin:/bin"] + cmd


def version_command(ctx):
    return in_root(ctx, ["fbsvcmgr", f"{SERVER}:service_mgr", "user", ctx.user, "password", ctx.password,
                         "info_server_version"])


def cases(ctx):
    fbwarm = [ctx.programs.fbwarm, f"/DB:{ctx.db}", f"/SERVER:{SERVER}", f"/USER:{ctx.user}",
              f"/PASSWORD:{ctx.password}"]
    return [
        ("fbwarm full run", fbwarm),
        ("fbwarm full run, Firebird 4 client", [os.path.join(ctx.root, "scripts", "debian13-run")] + fbwarm),
        (FBSVCMGR, in_root(ctx, ["fbsvcmgr", f"{SERVER}:service_mgr", "user", ctx.user, "password", ctx.password,
                                 "action_db_stats", "dbname", ctx.db, "sts_data_pages", "sts_idx_pages"])),
    ]


def measure_state(ctx, state):
    samples = {name: [] for name, _ in cases(ctx)}
    reads = {name: [] for name, _ in cases(ctx) if name.startswith("fbwarm")}
    for r in range(ctx.runs):
        for name, cmd in rotated(cases(ctx), r):
            ctx.cache.evict() if state == "cold" else ctx.cache.load()
            run = ctx.run(cmd)
            check_report(name, run.out)
            samples[name].append(run.secs)
            if name in reads:
                reads[name].append(read_through_secs(run.err))
        log(f"Firebird 4, {state}, round {r + 1}/{ctx.runs}")
    results = {name: summary(s) for name, s in samples.items()}
    for name, secs in reads.items():
        results[name]["read_through_secs"] = secs
    return results


def measure(ctx, done):
    return ctx.timed("Firebird 4", lambda: {state: measure_state(ctx, state) for state in ("cold", "warm")}
                     | {"fbwarm": ctx.programs.fbwarm, "commands": ctx.shown(cases(ctx))})
