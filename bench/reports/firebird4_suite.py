"""firebird4.md: the Firebird 4 suite, fbwarm's full run beside that server's own statistics run."""

import os
import statistics

from reports.format import STATES, command_lines

BASE = "fbsvcmgr action_db_stats (Firebird 4)"


def lines(res):
    f4 = res["firebird4"]
    m = res["machine"]
    L = [
        "# fbwarm against Firebird 4",
        "",
        f"Database: `{res['database']['path']}`, {res['database']['bytes'] / 1e9:.2f} GB, made on the Firebird 4.0.5 "
        "server of Debian 13 (`FB_VERSION=4 scripts/make-database`), 8 KiB pages. Server: 127.0.0.1:3051, in its "
        "Debian 13 root (`FB_VERSION=4 scripts/firebird-up`).",
        f"Timed: `{f4['fbwarm']}` (with this machine's Firebird 3.0.11 client, and once more inside the "
        "Debian 13 root with Firebird 4.0.5's client through `scripts/debian13-run`) against the "
        "server's own `fbsvcmgr action_db_stats sts_data_pages sts_idx_pages`, run inside the root.",
        "Cold: the file evicted first (`vmtouch -e`, at most 1 % resident); warm: the file wholly cached "
        "(`vmtouch -t`). The server is not restarted. Seconds of wall time, "
        f"{res['runs']} round(s) per state in turning order; ratio = median / median of fbsvcmgr; the "
        "read-through's own time as fbwarm reports it on standard error (to 0.1 s).",
        "",
        f"Machine: {m['node']}, {m['cores']} cores, kernel {m['kernel']}; "
        f"load average at the end {m['load_after']:.2f}.",
        "",
        "| state | case | min | median | max | ratio | read-through, median |",
        "|---|---|---:|---:|---:|---:|---:|",
    ]
    for state in STATES:
        ref = f4[state][BASE]["median"]
        for name, s in f4[state].items():
            reads = [x for x in s.get("read_through_secs", []) if x is not None]
            read = f"{statistics.median(reads):.1f}" if reads else ""
            L.append(f"| {state} | {name} | {s['min']:.3f} | {s['median']:.3f} | {s['max']:.3f} | "
                     f"{s['median'] / ref:.2f} | {read} |")
    L += [
        "",
        "fbwarm's full run is its read-through followed by the same statistics action, so warm it costs "
        "the action plus the read of a cached file, and cold the read of the file from the disk on top; "
        "the last column shows which part moved between runs.",
        "",
    ]
    L.extend(command_lines(f4.get("commands")))
    return L


def write(res, out_dir, work):
    with open(os.path.join(out_dir, "firebird4.md"), "w") as f:
        f.write("\n".join(lines(res)))
