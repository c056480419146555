"""fit.md and chart-fit.png: the /FIT suite, look-ups after each warming and what each warming
cost, against the goals set for /FIT."""

import os
import statistics

from reports.charts import STYLE, data_file, draw
from reports.format import command_lines


def median(d, key):
    return d[key]["median"]


def index_bound(res):
    """The time the throttle allows for the merged plan of the index pages: the longer of its bytes
    at the byte limit and its requests at the request limit."""
    f = res["fit"]
    plan, prof = f["index_plan"], f["profile"]
    return max(plan["plan_bytes"] / prof["bytes_per_s"], plan["plan_requests"] / prof["requests_per_s"])


def lines(res):
    f = res["fit"]
    c = f["cases"]
    plan = f["index_plan"]
    m = res["machine"]
    ref, plain, fit = (median(c[n], "lookup_s") for n in ("reference", "after fbwarm", "after fbwarm /FIT"))
    fit_prep, plain_prep = median(c["after fbwarm /FIT"], "prep_s"), median(c["after fbwarm"], "prep_s")
    index_reads = [x.get("read_s") for x in c["after fbwarm /FIT, index budget"]["figures"] if x.get("read_s")]
    index_read = statistics.median(index_reads) if index_reads else float("nan")
    bound = index_bound(res)
    L = [
        "# /FIT: the most valuable pages first, within a budget",
        "",
        f"Database: `{res['database']['path']}`, {res['database']['bytes'] / 1e9:.2f} GB, every index made "
        "before the load (`scripts/make-database --size-mb N PATH --interleaved`), so index pages lie among "
        f"the data pages. Memory limit of the group the server and every warmer run in: "
        f"{f['memory_limit'] / 2**30:.1f} GiB (page cache charged to it). Disk throttled to "
        f"{f['profile']['bytes_per_s'] / 1e6:.0f} MB/s and {f['profile']['requests_per_s']} requests/s. "
        f"A real restart with the file evicted before every case; {f['lookups']} random primary-key "
        f"look-ups over every table right after the warming; {res['runs']} round(s) in turning order.",
        ("A reduced run (`--size tiny`): about 2 GB under a 1 GiB limit, the ratio of the full suite's 6 GB "
         "under 3 GiB." if res["database"]["size"] == "tiny" else ""),
        f"Machine: {m['node']}, {m['cores']} cores, kernel {m['kernel']}; load average at the end "
        f"{m['load_after']:.2f}. This machine pages out file cache that stays idle for about a minute "
        "(findings.md): the look-ups run at once after each warming, so the figures are those of a cache "
        "that has not aged.",
        "",
        "| case | warming s (median) | look-ups s (min / median / max) | p99 ms | resident after warming |",
        "|---|---:|---:|---:|---:|",
    ]
    for name, d in c.items():
        L.append(f"| {name} | {median(d, 'prep_s'):.1f} | {d['lookup_s']['min']:.2f} / {median(d, 'lookup_s'):.2f} / "
                 f"{d['lookup_s']['max']:.2f} | {median(d, 'p99_ms'):.1f} | {median(d, 'resident'):.1%} |")
    L += [
        "",
        "## Against the goals",
        "",
        f"- Look-ups after `/FIT` with a map: {fit:.2f} s; after plain fbwarm {plain:.2f} s "
        f"({'no slower' if fit <= plain else 'slower'}); reference {ref:.2f} s, ratio {fit / ref:.2f} (goal at most 1.2).",
        f"- Warming time of `/FIT` with a map: {fit_prep:.1f} s, plain fbwarm {plain_prep:.1f} s: "
        f"{fit_prep / plain_prep:.2f} of it (goal at most 0.25).",
        f"- Index pages resident through `/FIT` with a budget that holds them: read-through {index_read:.1f} s; "
        f"the throttle allows the merged plan {bound:.1f} s (max of {plan['plan_bytes'] / 1e6:.1f} MB at the byte "
        f"limit and {plan['plan_requests']} requests at the request limit): ratio {index_read / bound:.2f} "
        "(goal at most 1.15).",
        f"- The index pages: {plan['index_bytes'] / 1e6:.1f} MB in {plan['index_runs']} runs before merging; the "
        f"merged plan reads {plan['plan_bytes'] / 1e6:.1f} MB in {plan['plan_requests']} requests, "
        f"{plan['plan_bytes'] / plan['index_bytes']:.2f} times the index bytes (goal at most 1.5).",
        "",
        "![look-ups and warming time](chart-fit.png)",
        "",
    ]
    L.extend(command_lines(f.get("commands")))
    return L


def chart(res, out_dir, work):
    c = res["fit"]["cases"]
    rows = [(name, f"{median(d, 'lookup_s'):.3f}", f"{median(d, 'prep_s'):.3f}") for name, d in c.items()]
    data = data_file(work, "fit.dat", rows)
    draw(f"""set terminal pngcairo size 900,520
set output "{os.path.join(out_dir, 'chart-fit.png')}"
{STYLE}
set title "Look-ups after each warming (left axis), and the warming's time (right axis); medians"
set ylabel "look-ups, seconds"
set y2label "warming, seconds"
set y2range [0:*]
set y2tics
set ytics nomirror
plot "{data}" using 2:xtic(1) title "look-ups", "" using 3 axes x1y2 title "warming"
""")


def write(res, out_dir, work):
    with open(os.path.join(out_dir, "fit.md"), "w") as f:
        f.write("\n".join(lines(res)))
    chart(res, out_dir, work)
