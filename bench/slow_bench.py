"""The benchmark on slow storage: per throttle profile, the first look-ups and the first full scan
after a real restart (cold, after fbwarm, after vmtouch -t, fully warm), the read-through against
other readers at two read-ahead sizes, and fbwarm's full run against the scripted combination of
vmtouch and fbsvcmgr. Driven by bench.py, whose Bench object runs the commands."""

import json
import os
import re
import subprocess

from rounds import rotated, summary
from slow_storage import PROFILES, Disk, Group, Server, StorageError, log

SEED = 15
# Look-ups per workload: the spinning profile allows 150 reads a second, so it gets fewer.
LOOKUPS = {"full": {"spinning": 500, "other": 2000}, "tiny": {"spinning": 50, "other": 200}}
# The readers compared on slow storage read a copy of the database's first part: a whole 3 GB
# read at 125 MB/s takes 27 s, and 5 readers x 5 runs x 4 settings of that would not fit the time.
READ_SLICE_MIB = {"full": 256, "tiny": 32}
READ_AHEADS_KB = (8192, 128)
SKIP_PARAM = "/SKIPCACHED"


def supports_skip_cached(binary):
    """True when the binary knows the parameter: its name is in the program as text (UTF-16 or
    not), since an unknown parameter is silently ignored and cannot be told apart by a run."""
    with open(binary, "rb") as f:
        data = f.read()
    name = SKIP_PARAM[1:]
    return name.encode("utf-16-le") in data or name.encode() in data


def fio_seconds(path, size):
    """fio's own time for the job: its set-up before the first read takes about 0.7 s here,
    which would swamp the reads of a small file."""
    with open(path) as f:
        job = json.load(f)["jobs"][0]
    if job["read"]["io_bytes"] != size:
        raise StorageError(f"fio read {job['read']['io_bytes']} bytes of {size}")
    return job["read"]["runtime"] / 1000


class SlowBench:
    def __init__(self, bench, root):
        self.b = bench
        self.a = bench.a
        self.disk = Disk(self.a.db)
        self.server = Server(root)
        self.group = None
        self.profile = "none"
        self.out = bench.results.get("slow") or {"disk": self.disk.name, "dev": self.disk.dev, "max_request_kb": self.disk.max_request_kb(),
                    "read_ahead_kb": self.disk.read_ahead_kb(), "profiles": {}}
        self.skip = supports_skip_cached(self.a.fbwarm)
        self.out["skip_cached"] = self.skip
        self.out["fbwarm"] = self.a.fbwarm

    # Profiles -----------------------------------------------------------------------------------
    def all(self):
        try:
            self.b.run.group = None
            self.measure_profile("none")
            reason = self.throttle_unavailable()
            if reason:
                log(f"throttled profiles skipped: {reason}")
                self.out["skipped"] = reason
                return self.out
            for name in PROFILES:
                self.measure_profile(name)
        finally:
            self.out["forced_stops"] = self.server.forced_stops
            self.leave_group()
            Disk.restore_read_ahead()
        return self.out

    def throttle_unavailable(self):
        """Why the throttled profiles cannot run here (no controller, a read-only cgroup or sysfs
        as in many containers), or None."""
        try:
            group = Group()
            group.create()
            group.remove()
            self.disk.set_read_ahead_kb(self.disk.read_ahead_kb())
            Disk.restore_read_ahead()
        except (StorageError, OSError) as e:
            return str(e)
        return None

    def measure_profile(self, name):
        # A resumed run keeps the parts of a profile that were measured already.
        res = self.out["profiles"].setdefault(name, {})
        parts = {"first_runs": self.first_runs}
        if name in ("none", "cloud"):
            parts["scripted"] = self.scripted
        if name != "none":
            parts["readers"] = lambda: {str(kb): self.readers(kb) for kb in READ_AHEADS_KB}
        todo = [p for p in parts if p not in res]
        if not todo:
            return
        self.profile = name
        if name != "none":
            self.enter_group(*PROFILES[name])
        for part in todo:
            res[part] = self.b.timed(f"{name} {part.replace('_', ' ')}", parts[part])
            self.disk.restore_read_ahead()
            self.save_partial()
        self.leave_group()

    def save_partial(self):
        # A run that fails later keeps what was measured so far.
        with open(os.path.join(self.a.out, "results-partial.json"), "w") as f:
            json.dump(self.b.results | {"slow": self.out}, f, indent=1)

    def enter_group(self, bps, iops):
        self.group = Group()
        self.group.create()
        self.group.limit(self.disk.dev, bps, iops)
        self.b.run.group = self.group
        self.restart()

    def leave_group(self):
        """The server and every other process leave the group before it goes; the server keeps
        running (others use it)."""
        self.b.run.group = None
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
                self.b.cache.evict()
            elif state == "warm":
                self.b.cache.load()
        finally:
            self.server.start(self.group)

    # 2. First look-ups and first full scan after a restart ---------------------------------------
    def lookup_command(self):
        count = LOOKUPS[self.a.size_name]["spinning" if self.profile == "spinning" else "other"]
        tables = [f"{t}:{rows}" for t, rows in self.b.table_rows().items()]
        return [self.a.lookups, f"{self.b.host}:{self.a.alias}", self.a.user, str(count), str(SEED)] + tables

    def first_runs(self):
        fbwarm, vmtouch = self.b.fbwarm_full, ["vmtouch", "-tq", self.a.db]
        cases = [("cold", None), ("after fbwarm", fbwarm), ("after vmtouch -t", vmtouch), ("fully warm", None)]
        lookup, scan = self.lookup_command(), self.b.scan_command()
        acc = {n: {"lookup_s": [], "p50_ms": [], "p99_ms": [], "scan": [], "prep": [], "resident": [],
                   "resident_scan": [], "scan_read_mb": []} for n, _ in cases}
        found = set()
        for r in range(self.a.runs):
            for name, prep in rotated(cases, r):
                a = acc[name]
                self.restart("warm" if name == "fully warm" else "cold")
                prep_secs = 0.0
                if prep:
                    prep_secs, _, text = self.b.run(prep, keep_output=prep is fbwarm)
                    if prep is fbwarm:
                        self.b.check_fbwarm_output(text, with_read_through=True)
                a["prep"].append(prep_secs)
                a["resident"].append(self.b.cache.residency())
                _, _, text = self.b.run(lookup)
                q = json.loads(text.strip().splitlines()[-1])
                found.add(q["found"])
                a["lookup_s"].append(q["total_s"])
                a["p50_ms"].append(q["p50_ms"])
                a["p99_ms"].append(q["p99_ms"])
                # The cold scan starts from an evicted file again; the others keep the warmed file.
                self.restart("cold" if name == "cold" else None)
                # What the scan found in the cache and what it had to fetch from the disk: the
                # cache can lose pages between the warming and the scan (memory reclaim).
                a["resident_scan"].append(self.b.cache.residency())
                read_before = self.disk.bytes_read()
                a["scan"].append(self.b.timed_scan(scan))
                a["scan_read_mb"].append((self.disk.bytes_read() - read_before) / 1e6)
            log(f"{self.profile}: first look-ups and scan, round {r + 1}/{self.a.runs}")
        if len(found) != 1:
            raise StorageError(f"the look-ups found different numbers of rows: {sorted(found)}")
        return {"lookups": int(lookup[3]), "found": found.pop(),
                "cases": {n: {k: summary(v) for k, v in a.items()} for n, a in acc.items()}}

    # 3. Readers on slow storage ------------------------------------------------------------------
    def slice_file(self):
        path = os.path.join(self.b.work, "read-slice.bin")
        if not os.path.exists(path):
            subprocess.run(["dd", f"if={self.a.db}", f"of={path}", "bs=1M",
                            f"count={READ_SLICE_MIB[self.a.size_name]}", "status=none"], check=True)
        return path

    def readers(self, read_ahead_kb):
        path = self.slice_file()
        self.disk.set_read_ahead_kb(read_ahead_kb)
        fio_json = os.path.join(self.b.work, "fio.json")
        tools = [
            ("fbwarm read-through", [self.a.reader, path]),
            ("cat", ["cat", path]),
            ("dd bs=64M", ["dd", f"if={path}", "of=/dev/null", "bs=64M", "status=none"]),
            ("vmtouch -t", ["vmtouch", "-tq", path]),
            ("fio io_uring", ["fio", "--name=seq", f"--filename={path}", "--rw=read", "--ioengine=io_uring",
                              "--direct=0", "--bs=1M", "--iodepth=32", "--invalidate=0", "--readonly",
                              "--output-format=json", f"--output={fio_json}"]),
        ]
        cache = type(self.b.cache)(path)
        acc = {n: [] for n, _ in tools}
        resident = {n: [] for n, _ in tools}
        for r in range(self.a.runs):
            for name, cmd in rotated(tools, r):
                cache.evict()
                took, _, _ = self.b.run(cmd, keep_output=False)
                if name.startswith("fio"):
                    took = fio_seconds(fio_json, os.path.getsize(path))
                acc[name].append(took)
                resident[name].append(cache.residency())
            log(f"{self.profile}: readers at read-ahead {read_ahead_kb} KiB, round {r + 1}/{self.a.runs}")
        return {"bytes": os.path.getsize(path), "read_ahead_kb": self.disk.read_ahead_kb(),
                "tools": {n: summary(v) for n, v in acc.items()},
                "resident_after": {n: min(v) for n, v in resident.items()}}

    # 4. fbwarm against vmtouch -t + fbsvcmgr -----------------------------------------------------
    def skip_cases(self):
        # The residency check asks cachestat where the kernel has it. The mincore path, the one
        # older kernels take, is forced in build/fbwarm-test-hooks (fbwarm with the test seam,
        # the normal preset's build), never in the program itself; its case name says so.
        skip = self.b.fbwarm_full + [SKIP_PARAM]
        hooks = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build",
                             "fbwarm-test-hooks")
        cases = [("fbwarm /SKIPCACHED", skip)]
        if os.access(hooks, os.X_OK):
            cases.append((f"FBWARM_TEST_RESIDENCY=mincore {os.path.normpath(hooks)} /SKIPCACHED",
                          ["env", "FBWARM_TEST_RESIDENCY=mincore", hooks] + skip[1:]))
        else:
            log(f"mincore case skipped: {hooks} is not built (cmake --build --preset normal)")
        return cases

    def scripted(self):
        a = self.a
        stats = ["fbsvcmgr", f"{self.b.host}:service_mgr", "user", a.user, "password", a.password,
                 "action_db_stats", "dbname", a.alias, "sts_data_pages", "sts_idx_pages"]
        combo = ["sh", "-c", 'vmtouch -tq "$1" && shift && exec "$@"', "sh", a.db] + stats
        tools = [("fbwarm full run", self.b.fbwarm_full), ("vmtouch -t + fbsvcmgr", combo)]
        out = {}
        for state in ("cold", "warm"):
            names = tools + (self.skip_cases() if self.skip and state == "warm" else [])
            acc = {n: [] for n, _ in names}
            for r in range(a.runs):
                for name, cmd in rotated(names, r):
                    self.b.cache.evict() if state == "cold" else self.b.cache.load()
                    took, _, text = self.b.run(cmd)
                    if name.startswith("fbwarm"):
                        self.b.check_fbwarm_output(text, with_read_through=True)
                    elif "Analyzing database pages" not in text:
                        raise StorageError(f"{name} printed no report:\n{text[-2000:]}")
                    acc[name].append(took)
                log(f"{self.profile}: fbwarm against the scripted combination, {state}, round {r + 1}/{a.runs}")
            out[state] = {n: summary(v) for n, v in acc.items()}
        return out


# Report --------------------------------------------------------------------------------------------

# The look of every bar chart of the suite.
CHART_STYLE = """set bmargin 9
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set grid ytics
set xtics rotate by -30 scale 0
set key top right horizontal
set offsets 0, 0, graph 0.15, 0
set yrange [0:*]"""

PROFILE_TITLES = {
    "none": "unthrottled disk",
    "cloud": "cloud volume (125 MB/s, 3000 IOPS)",
    "spinning": "spinning disk (150 MB/s, 150 IOPS)",
}


def ratio(a, b):
    """Median of a over median of b, and the range of the ratios round by round (the cases
    alternate, so round r of a ran beside round r of b)."""
    per_round = [x / y for x, y in zip(a["runs"], b["runs"])]
    return a["median"] / b["median"], min(per_round), max(per_round)


def fmt_ratio(r):
    return f"{r[0]:.2f}x (rounds {r[1]:.2f}-{r[2]:.2f})"


def spread(s, unit="s", digits=3):
    return f"{s['median']:.{digits}f} ({s['min']:.{digits}f}-{s['max']:.{digits}f}) {unit}".rstrip()


def median_share(d, key):
    return f"{d[key]['median']:.1%}" if key in d else "-"


def median_mb(d, key):
    return f"{d[key]['median']:.0f} ({d[key]['min']:.0f}-{d[key]['max']:.0f})" if key in d else "-"


def fastest_reader(tools):
    others = {n: s for n, s in tools.items() if n != "fbwarm read-through"}
    return min(others, key=lambda n: others[n]["median"])


def goals(slow, runs):
    rows = []
    for name, p in slow["profiles"].items():
        c = p["first_runs"]["cases"]
        r = ratio(c["after fbwarm"]["lookup_s"], c["fully warm"]["lookup_s"])
        rows.append((f"{name}: first look-ups after fbwarm within 10% of fully warm",
                     f"{fmt_ratio(r)} of the time", r[0] <= 1.10))
        for kb, rd in p.get("readers", {}).items():
            best = fastest_reader(rd["tools"])
            r = ratio(rd["tools"]["fbwarm read-through"], rd["tools"][best])
            rows.append((f"{name}, read-ahead {kb} KiB: read-through within 5% of the fastest reader ({best})",
                         f"{fmt_ratio(r)} of the time", r[0] <= 1.05))
        sc = p.get("scripted")
        if sc:
            r = ratio(sc["cold"]["fbwarm full run"], sc["cold"]["vmtouch -t + fbsvcmgr"])
            rows.append((f"{name}: full run cold within 5% of vmtouch -t + fbsvcmgr", f"{fmt_ratio(r)} of the time",
                         r[0] <= 1.05))
            if "fbwarm /SKIPCACHED" in sc["warm"]:
                r = ratio(sc["warm"]["fbwarm /SKIPCACHED"], sc["warm"]["vmtouch -t + fbsvcmgr"])
                rows.append((f"{name}: full run warm with /SKIPCACHED within 5% of vmtouch -t + fbsvcmgr",
                             f"{fmt_ratio(r)} of the time", r[0] <= 1.05))
            else:
                rows.append((f"{name}: full run warm with /SKIPCACHED within 5% of vmtouch -t + fbsvcmgr",
                             "not measured: the fbwarm under test has no /SKIPCACHED", None))
    return rows


def report_lines(res):
    slow = res["slow"]
    L = ["## 5. Slow storage: what warming is worth after a restart\n"]
    L.append(f"The disk `{slow['disk']}` ({slow['dev']}, largest request {slow['max_request_kb']} KiB, read-ahead "
             f"{slow['read_ahead_kb']} KiB) is throttled for the Firebird server and the programs under test with "
             "the kernel's block I/O controller (bench/slow_storage.py): the server is restarted inside a cgroup "
             "that limits reads to the profile's bytes and requests per second. Profiles: "
             + "; ".join(f"{n}: {t}" for n, t in PROFILE_TITLES.items() if n != "none") + ". "
             f"Times are medians with the range over the rounds in brackets. fbwarm under test: `{slow['fbwarm']}` "
             f"({'with' if slow['skip_cached'] else 'without'} {SKIP_PARAM}).\n")
    if slow.get("skipped"):
        L.append(f"**Throttled profiles skipped:** {slow['skipped']}.\n")
    for name, p in slow["profiles"].items():
        L.extend(profile_lines(name, p, res["runs"]))
    return L


def profile_lines(name, p, runs):
    L = [f"### {PROFILE_TITLES[name]}\n"]
    fr = p["first_runs"]
    c = fr["cases"]
    L.append(f"Each case from a real restart: server stopped, file evicted (fully warm: loaded), server started; "
             f"then the warming step, then {fr['lookups']} point queries by primary key on random rows of all four "
             f"tables (seed {SEED}, the same keys in every case, {fr['found']} rows found) from one client "
             "(bench/lookup_bench), then the server restarted once more (cold: file evicted again, else left "
             "as it is) and `SELECT COUNT(*)` over every table. Resident: the file's share in the page cache after "
             "the warming step and again just before the scan; read by scan: megabytes the disk delivered while the "
             "scan ran (anyone's reads, the machine otherwise idle). Ratios: to fully warm.\n")
    L.append("| Before the first queries | Warming step s | Resident | Look-ups total s | Ratio | p50 ms | p99 ms "
             "| Resident at scan | Full scan s | Ratio | Read by scan MB |")
    L.append("|---|---|---|---|---|---|---|---|---|---|---|")
    warm = c["fully warm"]
    for case, d in c.items():
        prep = spread(d["prep"]) if d["prep"]["max"] > 0 else "-"
        L.append(f"| {case} | {prep} | {d['resident']['median']:.1%} | {spread(d['lookup_s'])} | "
                 f"{fmt_ratio(ratio(d['lookup_s'], warm['lookup_s']))} | {d['p50_ms']['median']:.2f} | "
                 f"{d['p99_ms']['median']:.2f} | {median_share(d, 'resident_scan')} | {spread(d['scan'])} | "
                 f"{fmt_ratio(ratio(d['scan'], warm['scan']))} | {median_mb(d, 'scan_read_mb')} |")
    L.append("")
    for kb, rd in p.get("readers", {}).items():
        best = fastest_reader(rd["tools"])
        L.append(f"Reading a {rd['bytes'] / 2**20:.0f} MiB copy of the database's first part from cold at read-ahead "
                 f"{rd['read_ahead_kb']} KiB (fio: io_uring, buffered, 1 MiB blocks, queue depth 32, timed by its own job "
                 "runtime, without its set-up of about 0.7 s). Ratio: "
                 f"to the fastest other reader ({best}).\n")
        L.append("| Reader | Time s | MB/s (median) | Ratio | Resident after (least) |")
        L.append("|---|---|---|---|---|")
        for tool, s in rd["tools"].items():
            resident = rd.get("resident_after", {}).get(tool)
            L.append(f"| {tool} | {spread(s)} | {rd['bytes'] / s['median'] / 1e6:.0f} | "
                     f"{fmt_ratio(ratio(s, rd['tools'][best]))} | "
                     f"{'-' if resident is None else f'{resident:.1%}'} |")
        L.append("")
    sc = p.get("scripted")
    if sc:
        L.append("fbwarm's full run against what a user would otherwise script (`vmtouch -t` on the file, then "
                 "`fbsvcmgr ... action_db_stats sts_data_pages sts_idx_pages`), file evicted (cold) or resident "
                 "(warm) before each run. Ratio: to the scripted combination.\n")
        L.append("| Program | State | Time s | Ratio |")
        L.append("|---|---|---|---|")
        for state, tools in sc.items():
            for tool, s in tools.items():
                L.append(f"| {tool} | {state} | {spread(s)} | "
                         f"{fmt_ratio(ratio(s, tools['vmtouch -t + fbsvcmgr']))} |")
        L.append("")
    L.append(f"![{name}](chart-{name}.png)\n")
    return L


def write_charts(res, out_dir, work, human_size):
    for name, p in res["slow"]["profiles"].items():
        write_chart(name, p, res, out_dir, work, human_size)


def write_chart(name, p, res, out_dir, work, human_size):
    c = p["first_runs"]["cases"]
    d1 = os.path.join(work, f"{name}-first.dat")
    with open(d1, "w") as f:
        for case, d in c.items():
            f.write(f'"{case}" {d["prep"]["median"]:.3f} {d["lookup_s"]["median"]:.3f} {d["scan"]["median"]:.3f}\n')
    plots = [
        ("First look-ups after a restart (total seconds)", f'plot "{d1}" using 3:xtic(1) notitle lc rgb "#3b6ea5"'),
        ("First full scan after a restart (seconds)",
         f'set style histogram rowstacked\nplot "{d1}" using 2:xtic(1) title "warming step" lc rgb "#999999", '
         f'"" using 4 title "scan" lc rgb "#3b6ea5"\nset style histogram clustered gap 1'),
    ]
    if p.get("readers"):
        d2 = os.path.join(work, f"{name}-readers.dat")
        kbs = list(p["readers"])
        with open(d2, "w") as f:
            for tool in p["readers"][kbs[0]]["tools"]:
                vals = " ".join(f'{p["readers"][kb]["bytes"] / p["readers"][kb]["tools"][tool]["median"] / 1e6:.1f}'
                                for kb in kbs)
                f.write(f'"{tool}" {vals}\n')
        cols = ", ".join(f'"{d2}" using {i + 2}{":xtic(1)" if i == 0 else ""} title "read-ahead {kb} KiB"'
                         for i, kb in enumerate(kbs))
        plots.append(("Reading from cold (MB/s, higher is better)", f"plot {cols}"))
    elif p.get("scripted"):
        d2 = os.path.join(work, f"{name}-scripted.dat")
        sc = p["scripted"]
        with open(d2, "w") as f:
            for tool in sc["warm"]:
                cold = sc["cold"][tool]["median"] if tool in sc["cold"] else 0
                f.write(f'"{tool}" {cold:.3f} {sc["warm"][tool]["median"]:.3f}\n')
        plots.append(("Full run vs vmtouch -t + fbsvcmgr (seconds)",
                      f'plot "{d2}" using 2:xtic(1) title "cold" lc rgb "#3b6ea5", "" using 3 title "warm" '
                      'lc rgb "#e39b2d"'))
    body = "\n".join(f'set title "{t}"\n{cmd}' for t, cmd in plots)
    script = f"""
set terminal pngcairo noenhanced size {500 * len(plots)},560 font "sans,10"
set output "{os.path.join(out_dir, f'chart-{name}.png')}"
set multiplot layout 1,{len(plots)} title "{PROFILE_TITLES[name]}, {human_size(res['database']['bytes'])} database (medians of {res['runs']} runs)"
{CHART_STYLE}
{body}
unset multiplot
"""
    subprocess.run(["gnuplot"], input=script, text=True, check=True)
