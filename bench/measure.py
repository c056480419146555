#!/usr/bin/python3
"""Measures the benchmark suite and writes its results (results.json): the sections of
measurements/ one after the other, on one Firebird database. Started by bench/run, which installs
the tools, starts the server, makes the database and builds the programs first; report.py turns
the results into the report."""

import argparse
import json
import os
import signal
import sys
import tempfile

from measurements import file_cache, server_side, slow_storage
from suite import machine
from suite.context import Context, Programs
from suite.messages import BenchError, log

SECTIONS = [file_cache, server_side, slow_storage]


def measure(ctx, resume):
    if resume:
        with open(resume) as f:
            ctx.results.update(json.load(f))
        log(f"resuming {resume}: {', '.join(ctx.results)} measured already")
    else:
        ctx.results["machine"] = machine.facts(["fbsvcmgr", f"{ctx.host}:service_mgr", "user", ctx.user,
                                                "password", ctx.password, "info_server_version"])
        ctx.results["database"] = {"path": ctx.db, "bytes": os.path.getsize(ctx.db), "size": ctx.size}
        ctx.results["runs"] = ctx.runs
    unfinished = ctx.results.pop("unfinished", {})
    for section in SECTIONS:
        if section.KEY not in ctx.results:
            ctx.results[section.KEY] = section.measure(ctx, unfinished.get(section.KEY))
            ctx.checkpoint()
    ctx.results["machine"]["load_after"] = os.getloadavg()[0]
    return ctx.results


def stop_on_signal(signum, frame):
    # SIGTERM and SIGHUP end the run like Ctrl-C, through every cleanup on the way out.
    raise KeyboardInterrupt(f"signal {signum}")


def main():
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, stop_on_signal)
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--db", required=True, help="database file, as the server and this machine see it")
    p.add_argument("--alias", required=True, help="server-side alias of the same database")
    p.add_argument("--size-name", default="full")
    p.add_argument("--fbwarm", required=True)
    p.add_argument("--hooks", required=True, help="the fbwarm-test-hooks program")
    p.add_argument("--reader", required=True, help="the read_through_bench program")
    p.add_argument("--lookups", required=True, help="the lookup_bench program")
    p.add_argument("--root", required=True, help="the source tree (for scripts/firebird-up and -down)")
    p.add_argument("--user", default="SYSDBA")
    p.add_argument("--runs", type=int, default=5)
    p.add_argument("--out", required=True, help="directory for results.json")
    p.add_argument("--resume", help="results-partial.json of a run that failed: measure only what it lacks")
    a = p.parse_args()
    password = os.environ.get("FBWARM_FB_PASSWORD", "")
    if not password:
        sys.exit("bench: FBWARM_FB_PASSWORD is not set")
    os.makedirs(a.out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        programs = Programs(fbwarm=a.fbwarm, hooks=a.hooks, lookups=a.lookups, reader=a.reader)
        ctx = Context(db=a.db, alias=a.alias, user=a.user, password=password, size=a.size_name, runs=a.runs,
                      root=a.root, out=a.out, work=work, programs=programs)
        try:
            res = measure(ctx, a.resume)
        except BenchError as e:
            sys.exit(f"bench: {e}")
    with open(os.path.join(a.out, "results.json"), "w") as f:
        json.dump(res, f, indent=1)
    partial = os.path.join(a.out, "results-partial.json")
    if os.path.exists(partial):
        os.remove(partial)


if __name__ == "__main__":
    main()
