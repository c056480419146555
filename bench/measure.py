#!/usr/bin/python3
"""Measures one suite of the benchmark and writes its results file: the sections of
measurements/ one after the other, on one Firebird database. Started by bench/run, which installs
the tools, starts the server, makes the database and builds the programs first; report.py turns
the results into the suite's report.

Suites: main (results.json: sections 1 to 5 on the Firebird 3 server of this machine) and
firebird4 (firebird4.json: the full run against the Firebird 4 server in its Debian 13 root) and
servercache (servercache.json: /SERVERCACHE on a throttled disk, bench/run-servercache)."""

import argparse
import json
import os
import signal
import sys
import tempfile

from measurements import (file_cache, firebird4, fit, residency_cost, server_cache, server_side,
                          slow_storage)
from suite import machine
from suite.context import Context, Programs
from suite.messages import BenchError, log


def fbsvcmgr_version(ctx):
    return ["fbsvcmgr", f"{ctx.host}:service_mgr", "user", ctx.user, "password", ctx.password,
            "info_server_version"]


SUITES = {
    "main": {"results": "results.json", "sections": [file_cache, server_side, residency_cost, slow_storage],
             "version": fbsvcmgr_version},
    "firebird4": {"results": "firebird4.json", "sections": [firebird4], "version": firebird4.version_command},
    "fit": {"results": "fit.json", "sections": [fit], "version": fbsvcmgr_version},
    "servercache": {"results": "servercache.json", "sections": [server_cache], "version": fbsvcmgr_version},
}


def measure(ctx, suite, resume):
    unfinished = {}
    if resume:
        with open(resume) as f:
            ctx.results.update(json.load(f))
        unfinished = ctx.results.pop("unfinished", {})
        log(f"resuming {resume}: {', '.join(ctx.results)} measured already"
            + "".join(f", {key} in part" for key in unfinished))
    else:
        ctx.results["machine"] = machine.facts(suite["version"](ctx))
        ctx.results["database"] = {"path": ctx.db, "bytes": os.path.getsize(ctx.db), "size": ctx.size}
        ctx.results["runs"] = ctx.runs
    for section in suite["sections"]:
        if section.KEY not in ctx.results:
            ctx.results[section.KEY] = section.measure(ctx, unfinished.get(section.KEY))
            ctx.checkpoint()
    ctx.results["machine"]["load_after"] = os.getloadavg()[0]
    return ctx.results


def stop_on_signal(signum, frame):
    # SIGTERM and SIGHUP end the run like Ctrl-C, through every cleanup on the way out.
    raise KeyboardInterrupt(f"signal {signum}")


def arguments():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--suite", choices=SUITES, default="main")
    p.add_argument("--db", required=True, help="database file, as the server and this machine see it")
    p.add_argument("--alias", default="", help="server-side alias of the same database (main)")
    p.add_argument("--fb-root", default="", help="the root the Firebird 4 server runs in (firebird4)")
    p.add_argument("--size-name", default="full")
    p.add_argument("--build", required=True, help="the normal preset's build directory with the programs")
    p.add_argument("--fbwarm", help="the fbwarm under test, if not the build's")
    p.add_argument("--root", required=True, help="the source tree (for scripts/firebird-up and -down)")
    p.add_argument("--user", default="SYSDBA")
    p.add_argument("--runs", type=int, default=5)
    p.add_argument("--out", required=True, help="directory for the results file")
    p.add_argument("--resume", help="results-partial.json of a run that failed: measure only what it lacks")
    return p.parse_args()


def main():
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, stop_on_signal)
    a = arguments()
    password = os.environ.get("FBWARM_FB_PASSWORD", "")
    if not password:
        sys.exit("bench: FBWARM_FB_PASSWORD is not set")
    suite = SUITES[a.suite]
    os.makedirs(a.out, exist_ok=True)
    programs = Programs(fbwarm=a.fbwarm or os.path.join(a.build, "fbwarm"),
                        hooks=os.path.join(a.build, "fbwarm-test-hooks"),
                        lookups=os.path.join(a.build, "lookup_bench"),
                        residency_cost=os.path.join(a.build, "residency_cost"),
                        index_pages=os.path.join(a.build, "index_pages"))
    with tempfile.TemporaryDirectory() as work:
        ctx = Context(db=a.db, alias=a.alias, user=a.user, password=password, size=a.size_name, runs=a.runs,
                      root=a.root, out=a.out, work=work, programs=programs, fb_root=a.fb_root)
        try:
            res = measure(ctx, suite, a.resume)
        except BenchError as e:
            sys.exit(f"bench: {e}")
    with open(os.path.join(a.out, suite["results"]), "w") as f:
        json.dump(res, f, indent=1)
    partial = os.path.join(a.out, "results-partial.json")
    if os.path.exists(partial):
        os.remove(partial)


if __name__ == "__main__":
    main()
