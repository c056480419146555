"""fbwarm's full run against the Firebird 4 server beside that server's own statistics run
(fbsvcmgr of Firebird 4, inside its Debian 13 root), with the database file evicted (cold) and
wholly cached (warm), in rounds whose order turns. Writes firebird4.md and firebird4.json.
Started by bench/run-firebird4, which brings up the server and makes the database."""

import argparse
import json
import os
import platform
import re
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rounds import rotated, summary  # noqa: E402


class BenchError(Exception):
    pass


def log(text):
    print(f"bench-firebird4: {text}", file=sys.stderr, flush=True)


def residency(path):
    out = subprocess.run(["vmtouch", path], check=True, capture_output=True, text=True).stdout
    m = re.search(r"Resident Pages:\s*(\d+)/(\d+)", out)
    if not m:
        raise BenchError(f"unexpected vmtouch output:\n{out}")
    resident, total = int(m.group(1)), int(m.group(2))
    return resident / total if total else 1.0


def evict(path):
    # Pages still being written back cannot be dropped: flush, evict, check, and try again.
    for _ in range(5):
        fd = os.open(path, os.O_RDONLY)
        try:
            os.fsync(fd)
        finally:
            os.close(fd)
        subprocess.run(["vmtouch", "-eq", path], check=True)
        r = residency(path)
        if r <= 0.01:
            return r
        time.sleep(1)
    raise BenchError(f"{path} still {r:.1%} resident after eviction")


def load(path):
    if residency(path) < 0.999:
        subprocess.run(["vmtouch", "-tq", path], check=True)
    r = residency(path)
    if r < 0.99:
        raise BenchError(f"{path} only {r:.1%} resident after loading it")
    return r


def timed(cmd):
    start = time.perf_counter()
    proc = subprocess.run(cmd, capture_output=True, text=True, errors="replace")
    took = time.perf_counter() - start
    if proc.returncode != 0:
        raise BenchError(f"{' '.join(cmd[:2])} ... exited with {proc.returncode}:\n{proc.stderr[-2000:]}")
    return took, proc.stdout, proc.stderr


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


def cases(a):
    server = "127.0.0.1/3051"
    fbwarm = [a.fbwarm, f"/DB:{a.db}", f"/SERVER:{server}", "/USER:SYSDBA", f"/PASSWORD:{a.password}"]
    return [
        ("fbwarm full run", fbwarm),
        ("fbwarm full run, Firebird 4 client", [os.path.join(a.root, "scripts", "debian13-run")] + fbwarm),
        ("fbsvcmgr action_db_stats (Firebird 4)",
         ["chroot", a.fb_root, "/usr/bin/env", "-i", "PATH=/usr/bin:/bin", "fbsvcmgr",
          f"{server}:service_mgr", "user", "SYSDBA", "password", a.password, "action_db_stats",
          "dbname", a.db, "sts_data_pages", "sts_idx_pages"]),
    ]


def measure(a):
    results = {}
    for state in ("cold", "warm"):
        samples = {name: [] for name, _ in cases(a)}
        reads = {name: [] for name, _ in cases(a) if name.startswith("fbwarm")}
        for r in range(a.runs):
            for name, cmd in rotated(cases(a), r):
                evict(a.db) if state == "cold" else load(a.db)
                took, out, err = timed(cmd)
                check_report(name, out)
                samples[name].append(took)
                if name in reads:
                    reads[name].append(read_through_secs(err))
            log(f"{state}, round {r + 1}/{a.runs}")
        results[state] = {name: summary(s) for name, s in samples.items()}
        for name, secs in reads.items():
            results[state][name]["read_through_secs"] = secs
    return results


def write_report(a, results, out_dir):
    size = os.path.getsize(a.db)
    base = "fbsvcmgr action_db_stats (Firebird 4)"
    lines = [
        "# fbwarm against Firebird 4",
        "",
        f"Database: `{a.db}`, {size / 1e9:.2f} GB, made on the Firebird 4.0.5 server of Debian 13 "
        "(`FB_VERSION=4 scripts/make-database`), 8 KiB pages. Server: 127.0.0.1:3051, in its Debian 13 "
        "root (`FB_VERSION=4 scripts/firebird-up`).",
        f"Timed: `{a.fbwarm}` (with this machine's Firebird 3.0.11 client, and once more inside the "
        "Debian 13 root with Firebird 4.0.5's client through `scripts/debian13-run`) against the "
        "server's own `fbsvcmgr action_db_stats sts_data_pages sts_idx_pages`, run inside the root.",
        "Cold: the file evicted first (`vmtouch -e`, at most 1 % resident); warm: the file wholly cached "
        "(`vmtouch -t`). The server is not restarted. Seconds of wall time, "
        f"{a.runs} round(s) per state in turning order; ratio = median / median of fbsvcmgr; the "
        "read-through's own time as fbwarm reports it on standard error (to 0.1 s).",
        "",
        f"Machine: {platform.node()}, {os.cpu_count()} cores, kernel {platform.release()}; "
        f"load average at the end {os.getloadavg()[0]:.2f}.",
        "",
        "| state | case | min | median | max | ratio | read-through, median |",
        "|---|---|---:|---:|---:|---:|---:|",
    ]
    for state in ("cold", "warm"):
        ref = results[state][base]["median"]
        for name, s in results[state].items():
            reads = [x for x in s.get("read_through_secs", []) if x is not None]
            read = f"{statistics.median(reads):.1f}" if reads else ""
            lines.append(f"| {state} | {name} | {s['min']:.3f} | {s['median']:.3f} | {s['max']:.3f} | "
                         f"{s['median'] / ref:.2f} | {read} |")
    lines += [
        "",
        "fbwarm's full run is its read-through followed by the same statistics action, so warm it costs "
        "the action plus the read of a cached file, and cold the read of the file from the disk on top; "
        "the last column shows which part moved between runs.",
        "",
    ]
    with open(os.path.join(out_dir, "firebird4.md"), "w") as f:
        f.write("\n".join(lines))
    with open(os.path.join(out_dir, "firebird4.json"), "w") as f:
        json.dump({"db": a.db, "size": size, "fbwarm": a.fbwarm, "runs": a.runs, "results": results}, f, indent=1)


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--db", required=True)
    p.add_argument("--fbwarm", required=True)
    p.add_argument("--root", required=True, help="the source tree (for scripts/debian13-run)")
    p.add_argument("--fb-root", required=True, help="the Firebird 4 server's root")
    p.add_argument("--runs", type=int, default=5)
    p.add_argument("--out", required=True)
    a = p.parse_args()
    a.password = os.environ["FBWARM_FB4_PASSWORD"]
    os.makedirs(a.out, exist_ok=True)
    try:
        results = measure(a)
    except BenchError as e:
        log(str(e))
        return 1
    write_report(a, results, a.out)
    log(f"wrote {os.path.join(a.out, 'firebird4.md')}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
