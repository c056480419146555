#!/usr/bin/python3
"""Measures fbwarm beside the tools a database administrator would otherwise run, on one Firebird
database, and writes report.md, results.json and chart.png. Started by bench/run, which installs
the tools, starts the server, makes the database and builds the programs first."""

import argparse
import datetime
import json
import os
import platform
import re
import signal
import statistics
import subprocess
import sys
import tempfile
import time

import slow_bench
from rounds import rotated, summary
from slow_storage import StorageError, log

HOST = "127.0.0.1"
MB = 1_000_000  # throughput in decimal megabytes per second, as dd prints it


class BenchError(Exception):
    pass


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)


class Runner:
    """Runs one command under /usr/bin/time and returns its wall time, peak RSS and output."""

    def __init__(self, work):
        self.rss_file = os.path.join(work, "rss")
        self.out_file = os.path.join(work, "out")
        self.err_file = os.path.join(work, "err")
        self.group = None  # a throttled group (slow_storage.Group) that the commands run in

    def _enter_group(self):
        if self.group:
            self.group.add(os.getpid())

    def __call__(self, cmd, keep_output=True):
        """Returns standard output; with keep_output false it goes to /dev/null (as with
        `cat FILE > /dev/null`). Standard error is kept apart: fbwarm reports there, too."""
        with open(self.out_file, "w+", errors="replace") as out, open(self.err_file, "w+", errors="replace") as err:
            start = time.perf_counter()
            proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", self.rss_file] + cmd,
                                  stdout=out if keep_output else subprocess.DEVNULL, stderr=err,
                                  preexec_fn=self._enter_group)
            took = time.perf_counter() - start
            out.seek(0)
            text = out.read()
            err.seek(0)
            errors = err.read()
        if proc.returncode != 0:
            raise BenchError(f"{' '.join(cmd)} exited with {proc.returncode}:\n{text[-2000:]}\n{errors[-2000:]}")
        with open(self.rss_file) as f:
            rss_kib = int(f.read().split()[-1])
        return took, rss_kib, text


class PageCache:
    """Evicts and loads one file's pages and reads its residency, through vmtouch."""

    def __init__(self, path):
        self.path = path

    def residency(self):
        out = run(["vmtouch", self.path]).stdout
        m = re.search(r"Resident Pages:\s*(\d+)/(\d+)", out)
        if not m:
            raise BenchError(f"unexpected vmtouch output:\n{out}")
        resident, total = int(m.group(1)), int(m.group(2))
        return resident / total if total else 1.0

    def evict(self):
        # Dirty pages cannot be dropped: a database made a moment ago is still being written back,
        # so its pages are flushed first and the eviction tried again while the disk catches up.
        for attempt in range(5):
            fd = os.open(self.path, os.O_RDONLY)
            try:
                os.fsync(fd)
            finally:
                os.close(fd)
            run(["vmtouch", "-eq", self.path])
            r = self.residency()
            if r <= 0.01:
                return r
            time.sleep(1)
        raise BenchError(f"{self.path} still {r:.1%} resident after eviction")

    def load(self):
        if self.residency() < 0.999:
            run(["vmtouch", "-tq", self.path])
        r = self.residency()
        if r < 0.99:
            raise BenchError(f"{self.path} only {r:.1%} resident after loading it")
        return r


class Bench:
    def __init__(self, args, work):
        self.a = args
        self.size = os.path.getsize(args.db)
        self.cache = PageCache(args.db)
        self.run = Runner(work)
        self.work = work
        self.results = {}
        self.fbwarm_full = [args.fbwarm, f"/DB:{args.db}", f"/USER:{args.user}", f"/PASSWORD:{args.password}"]
        # The alias names no local file, so fbwarm skips its read-through and runs the statistics
        # action alone, on the same database as the server's own tools.
        self.host = HOST
        self.fbwarm_stats = [args.fbwarm, f"/DB:{args.alias}", f"/USER:{args.user}", f"/PASSWORD:{args.password}"]

    def check_fbwarm_output(self, text, with_read_through):
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

    # 1. OS file cache ---------------------------------------------------------------------------
    def file_cache(self):
        db = self.a.db
        tools = [
            ("fbwarm read-through", [self.a.reader, db]),
            ("cat", ["cat", db]),
            ("dd bs=64M", ["dd", f"if={db}", "of=/dev/null", "bs=64M", "status=none"]),
            ("vmtouch -t", ["vmtouch", "-tq", db]),
        ]
        device = ("O_DIRECT dd bs=64M (device)", ["dd", f"if={db}", "of=/dev/null", "bs=64M", "iflag=direct", "status=none"])
        out = {}
        for state, names in (("cold", tools + [device]), ("warm", tools)):
            acc = {n: {"secs": [], "rss": [], "before": [], "after": []} for n, _ in names}
            for r in range(self.a.runs):
                for name, cmd in rotated(names, r):
                    before = self.cache.evict() if state == "cold" else self.cache.load()
                    took, rss, _ = self.run(cmd, keep_output=False)
                    a = acc[name]
                    a["secs"].append(took)
                    a["rss"].append(rss)
                    a["before"].append(before)
                    a["after"].append(self.cache.residency())
                log(f"file cache, {state}, round {r + 1}/{self.a.runs}")
            out[state] = {n: {"secs": summary(a["secs"]), "rss_kib": max(a["rss"]),
                              "residency_before": max(a["before"]) if state == "cold" else min(a["before"]),
                              "residency_after": statistics.median(a["after"])}
                          for n, a in acc.items()}
        self.results["file_cache"] = out

    # 2. Server side -----------------------------------------------------------------------------
    def server_side(self):
        pw, user, alias = self.a.password, self.a.user, self.a.alias
        tools = [
            ("fbwarm statistics run", self.fbwarm_stats),
            ("fbsvcmgr action_db_stats", ["fbsvcmgr", f"{HOST}:service_mgr", "user", user, "password", pw,
                                          "action_db_stats", "dbname", alias, "sts_data_pages", "sts_idx_pages"]),
            ("fbstat -d -i", ["fbstat", "-d", "-i", "-u", user, "-p", pw, f"{HOST}:{alias}"]),
            ("fbwarm full run", self.fbwarm_full),
        ]
        out = {}
        for state in ("cold", "warm"):
            acc = {n: {"secs": [], "rss": []} for n, _ in tools}
            for r in range(self.a.runs):
                for name, cmd in rotated(tools, r):
                    self.cache.evict() if state == "cold" else self.cache.load()
                    took, rss, text = self.run(cmd)
                    if name.startswith("fbwarm"):
                        self.check_fbwarm_output(text, with_read_through=cmd is self.fbwarm_full)
                    elif "Analyzing database pages" not in text:
                        raise BenchError(f"{name} printed no report:\n{text[-2000:]}")
                    acc[name]["secs"].append(took)
                    acc[name]["rss"].append(rss)
                log(f"server side, {state}, round {r + 1}/{self.a.runs}")
            out[state] = {n: {"secs": summary(a["secs"]), "rss_kib": max(a["rss"])} for n, a in acc.items()}
        self.results["server_side"] = out

    # 3. First full scan -------------------------------------------------------------------------
    def tables(self):
        sql = "SET HEADING OFF;\nSELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 ORDER BY 1;\n"
        text = run(self.isql_command("tables.sql", sql)).stdout
        names = [l.strip() for l in text.splitlines() if re.fullmatch(r"\s*[A-Z_][A-Z0-9_$]*\s*", l)]
        if not names:
            raise BenchError(f"no user tables found:\n{text}")
        return names

    def isql_command(self, name, sql):
        path = os.path.join(self.work, name)
        with open(path, "w") as f:
            f.write(f"CONNECT '{HOST}:{self.a.alias}' USER '{self.a.user}' PASSWORD '{self.a.password}';\n{sql}")
        return ["isql-fb", "-q", "-bail", "-i", path]

    def scan_command(self):
        sql = "".join(f"SELECT COUNT(*) FROM {t};\n" for t in self.table_rows())
        return self.isql_command("count.sql", sql)

    def timed_scan(self, scan):
        took, _, text = self.run(scan)
        if len(re.findall(r"^\s*\d+\s*$", text, re.M)) != len(self.table_rows()):
            raise BenchError(f"unexpected scan output:\n{text}")
        return took

    def table_rows(self):
        """Rows per user table; keys run from 0, so MAX(ID) + 1 of each."""
        if not hasattr(self, "_rows"):
            sql = "SET HEADING OFF;\n" + "".join(f"SELECT MAX(ID) + 1 FROM {t};\n" for t in self.tables())
            text = run(self.isql_command("rows.sql", sql)).stdout
            counts = [int(n) for n in re.findall(r"^\s*(\d+)\s*$", text, re.M)]
            self._rows = dict(zip(self.tables(), counts))
        return self._rows

    # --------------------------------------------------------------------------------------------
    def machine(self):
        def first(cmd, pattern):
            try:
                m = re.search(pattern, run(cmd).stdout, re.M)
                return m.group(1).strip() if m else "?"
            except (OSError, subprocess.CalledProcessError):
                return "?"
        return {
            "date": datetime.datetime.now().strftime("%Y-%m-%d %H:%M"),
            "cpu": first(["lscpu"], r"^Model name:\s*(.*)$"),
            "cores": os.cpu_count(),
            "memory_gib": round(os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30, 1),
            "kernel": platform.release(),
            "firebird": first(["fbsvcmgr", f"{HOST}:service_mgr", "user", self.a.user, "password", self.a.password,
                               "info_server_version"], r"Server version:\s*(.*)$"),
            "load_before": os.getloadavg()[0],
        }

    def timed(self, section, measure):
        """Runs one section and keeps how long it took, so that the suite's length is on record."""
        start = time.monotonic()
        result = measure()
        self.results.setdefault("durations_s", {})[section] = round(time.monotonic() - start, 1)
        return result

    def all(self):
        if self.a.resume:
            with open(self.a.resume) as f:
                self.results = json.load(f)
            log(f"resuming {self.a.resume}: {', '.join(self.results)} measured already")
        else:
            self.results["machine"] = self.machine()
            self.results["database"] = {"path": self.a.db, "bytes": self.size, "size": self.a.size_name}
            self.results["runs"] = self.a.runs
            self.timed("file cache", self.file_cache)
            self.timed("server side", self.server_side)
        self.results["slow"] = slow_bench.SlowBench(self, self.a.root).all()
        self.results["machine"]["load_after"] = os.getloadavg()[0]
        return self.results


# Report -----------------------------------------------------------------------------------------

def human_size(size):
    return f"{size / 2**30:.2f} GiB" if size >= 2**30 else f"{size / 2**20:.1f} MiB"


def mbps(size, secs):
    return size / secs / MB


def goals(res):
    """Each goal judged on the medians; the best runs are shown beside them, since cold reads on a
    shared machine vary a lot from run to run."""
    size = res["database"]["bytes"]
    fc, ss = res["file_cache"], res["server_side"]
    secs = lambda d, n, k: d[n]["secs"][k]
    rate = lambda d, n, k: f"{mbps(size, secs(d, n, k)):.0f}"
    peers = ["cat", "dd bs=64M", "vmtouch -t"]
    fastest = min(peers, key=lambda n: secs(fc["cold"], n, "median"))
    device = "O_DIRECT dd bs=64M (device)"
    fb = "fbwarm read-through"
    rows = []
    for label, state, other, slack in (
            (f"read-through from cold at least as fast as the fastest peer ({fastest})", "cold", fastest, 1.0),
            ("read-through from cold within 10% of the device limit", "cold", device, 1.10),
            ("read-through from warm within 10% of cat", "warm", "cat", 1.10)):
        d = fc[state]
        measured = (f"median {rate(d, fb, 'median')} vs {rate(d, other, 'median')} MB/s "
                    f"({secs(d, fb, 'median') / secs(d, other, 'median') - 1:+.0%} time); "
                    f"best {rate(d, fb, 'min')} vs {rate(d, other, 'min')} MB/s")
        rows.append((label, measured, secs(d, fb, "median") <= secs(d, other, "median") * slack))
    for state in ("cold", "warm"):
        d = ss[state]
        a, b = "fbwarm statistics run", "fbsvcmgr action_db_stats"
        rows.append((f"statistics run ({state}) within 5% of fbsvcmgr",
                     f"median {secs(d, a, 'median'):.2f} vs {secs(d, b, 'median'):.2f} s "
                     f"({secs(d, a, 'median') / secs(d, b, 'median') - 1:+.1%}); "
                     f"best {secs(d, a, 'min'):.2f} vs {secs(d, b, 'min'):.2f} s",
                     secs(d, a, "median") <= secs(d, b, "median") * 1.05))
    rss = max(ss[s]["fbwarm full run"]["rss_kib"] for s in ss) / 1024
    rows.append(("peak RSS of a full run under 80 MiB", f"{rss:.1f} MiB", rss < 80))
    return rows


def write_report(res, out_dir):
    size = res["database"]["bytes"]
    m = res["machine"]
    L = []
    L.append("# fbwarm benchmarks\n")
    L.append(f"Measured {m['date']} on {m['cpu']}, {m['cores']} cores, {m['memory_gib']} GiB memory, "
             f"Linux {m['kernel']}, Firebird {m['firebird']}; load average {m['load_before']:.2f} before, "
             f"{m['load_after']:.2f} after.  ")
    L.append(f"Database: `{res['database']['path']}`, {human_size(size)} ({size:,} bytes), four tables with "
             f"two or three indexes each (scripts/make-database). {res['runs']} runs of every case, the cases "
             "alternating round by round; times are wall-clock times of the whole process. "
             "MB/s are 10^6 bytes per second. Re-run with `bench/run`.\n")

    took = res.get("durations_s")
    if took:
        L.append(f"The suite took {sum(took.values()) / 60:.1f} minutes: "
                 + ", ".join(f"{name} {secs / 60:.1f}" for name, secs in took.items()) + ".\n")
    L.append("## Goals\n")
    L.append("| Goal | Measured | Met (on the medians) |")
    L.append("|---|---|---|")
    for goal, measured, ok in goals(res) + slow_bench.goals(res["slow"], res["runs"]):
        met = "-" if ok is None else "yes" if ok else "**no**"
        L.append(f"| {goal} | {measured} | {met} |")
    L.append("")

    fc = res["file_cache"]
    L.append("## 1. OS file cache: reading the file through\n")
    L.append("Cold: the file's pages evicted first (`vmtouch -e`, residency checked below 1%). "
             "Warm: the file fully resident. `fbwarm read-through` is the tool's own read-through "
             "(`ReadThroughFile`, 64 MiB reads) timed alone by bench/read_through_bench. A single stream of "
             "O_DIRECT reads is the device's limit for one reader without the cache; the kernel's read-ahead "
             "keeps more requests in flight and can pass it. vmtouch maps the whole file, so its RSS counts "
             "the file's cached pages, not memory it allocated.\n")
    L.append("| Tool | State | Min s | Median s | MB/s (median) | MB/s (best) | Resident before | Resident after | Peak RSS MiB |")
    L.append("|---|---|---|---|---|---|---|---|---|")
    for state in ("cold", "warm"):
        for name, d in fc[state].items():
            s = d["secs"]
            L.append(f"| {name} | {state} | {s['min']:.3f} | {s['median']:.3f} | {mbps(size, s['median']):.0f} | "
                     f"{mbps(size, s['min']):.0f} | {d['residency_before']:.1%} | {d['residency_after']:.1%} | "
                     f"{d['rss_kib'] / 1024:.1f} |")
    L.append("")

    ss = res["server_side"]
    L.append("## 2. Server side: the statistics action over data and index pages\n")
    L.append("`fbwarm statistics run` is fbwarm with `/DB:` naming a server-side alias of the same file: the alias "
             "is no local file, so fbwarm skips its read-through and only runs the statistics action. "
             "`fbwarm full run` is the normal run (read-through, then the statistics action). Ratio: median "
             "time of the tool divided by that of the fbwarm statistics run.\n")
    L.append("| Tool | Cold min s | Cold median s | Cold ratio | Warm min s | Warm median s | Warm ratio | Peak RSS MiB |")
    L.append("|---|---|---|---|---|---|---|---|")
    base = {s: ss[s]["fbwarm statistics run"]["secs"]["median"] for s in ss}
    for name in ss["cold"]:
        c, w = ss["cold"][name]["secs"], ss["warm"][name]["secs"]
        rss = max(ss["cold"][name]["rss_kib"], ss["warm"][name]["rss_kib"]) / 1024
        L.append(f"| {name} | {c['min']:.3f} | {c['median']:.3f} | {c['median'] / base['cold']:.2f} | "
                 f"{w['min']:.3f} | {w['median']:.3f} | {w['median'] / base['warm']:.2f} | {rss:.1f} |")
    L.append("")

    L.append("## 3. Memory\n")
    L.append("Peak resident set size (`/usr/bin/time`, maximum over all runs):\n")
    L.append("| Program | Peak RSS MiB |")
    L.append("|---|---|")
    for name in ("fbwarm full run", "fbwarm statistics run", "fbsvcmgr action_db_stats", "fbstat -d -i"):
        rss = max(ss[s][name]["rss_kib"] for s in ss) / 1024
        L.append(f"| {name} | {rss:.1f} |")
    for name in ("fbwarm read-through", "cat", "dd bs=64M", "vmtouch -t"):
        L.append(f"| {name} | {max(fc[s][name]['rss_kib'] for s in fc) / 1024:.1f} |")
    L.append("")
    L.append("![chart](chart.png)\n")
    L.extend(slow_bench.report_lines(res))
    if os.path.exists(os.path.join(out_dir, "findings.md")):
        L.append("What was tried where fbwarm falls short: [findings.md](findings.md).\n")
    with open(os.path.join(out_dir, "report.md"), "w") as f:
        f.write("\n".join(L))


def write_chart(res, out_dir, work):
    size = res["database"]["bytes"]
    fc, ss = res["file_cache"], res["server_side"]
    d1 = os.path.join(work, "read.dat")
    with open(d1, "w") as f:
        for name in fc["cold"]:
            cold = fc["cold"][name]["secs"]["median"]
            warm = fc["warm"][name]["secs"]["median"] if name in fc["warm"] else 0
            f.write(f'"{name}" {cold:.3f} {warm:.3f}\n')
    d2 = os.path.join(work, "stats.dat")
    with open(d2, "w") as f:
        for name in ss["cold"]:
            f.write(f'"{name}" {ss["cold"][name]["secs"]["median"]:.3f} {ss["warm"][name]["secs"]["median"]:.3f}\n')
    png = os.path.join(out_dir, "chart.png")
    script = f"""
set terminal pngcairo noenhanced size 1000,560 font "sans,10"
set output "{png}"
set multiplot layout 1,2 title "fbwarm vs. peers on a {human_size(size)} Firebird database (medians of {res['runs']} runs)"
{slow_bench.CHART_STYLE}
set title "1. Reading the file through (seconds, lower is better)"
plot "{d1}" using 2:xtic(1) title "cold" lc rgb "#3b6ea5", "" using 3 title "warm" lc rgb "#e39b2d"
set title "2. Statistics action (seconds, lower is better)"
plot "{d2}" using 2:xtic(1) title "cold" lc rgb "#3b6ea5", "" using 3 title "warm" lc rgb "#e39b2d"
unset multiplot
"""
    subprocess.run(["gnuplot"], input=script, text=True, check=True)


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
    p.add_argument("--reader", required=True, help="the read_through_bench program")
    p.add_argument("--lookups", required=True, help="the lookup_bench program")
    p.add_argument("--root", required=True, help="the source tree (for scripts/firebird-up and -down)")
    p.add_argument("--user", default="SYSDBA")
    p.add_argument("--runs", type=int, default=5)
    p.add_argument("--out", required=True, help="directory for report.md, results.json, chart.png")
    p.add_argument("--report-only", action="store_true", help="rewrite report and chart from results.json")
    p.add_argument("--resume", help="results-partial.json of a run that failed: measure only what it lacks")
    a = p.parse_args()
    a.password = os.environ.get("FBWARM_FB_PASSWORD", "")
    if not a.password and not a.report_only:
        sys.exit("bench: FBWARM_FB_PASSWORD is not set")
    os.makedirs(a.out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        try:
            if a.report_only:
                with open(os.path.join(a.out, "results.json")) as f:
                    res = json.load(f)
            else:
                res = Bench(a, work).all()
                with open(os.path.join(a.out, "results.json"), "w") as f:
                    json.dump(res, f, indent=1)
                partial = os.path.join(a.out, "results-partial.json")
                if os.path.exists(partial):
                    os.remove(partial)
            write_report(res, a.out)
            write_chart(res, a.out, work)
            slow_bench.write_charts(res, a.out, work, human_size)
        except (BenchError, StorageError) as e:
            sys.exit(f"bench: {e}")
    print(os.path.join(a.out, "report.md"))


if __name__ == "__main__":
    main()
