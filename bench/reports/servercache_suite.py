"""servercache.md and chart-servercache.png: the first look-ups after a restart on a database the
server reads past the file cache, cold, after fbwarm, after fbwarm /SERVERCACHE and after a full
engine read, with the goals of the server-cache step checked against the figures."""

import os
import statistics

from reports import charts
from reports.format import command_lines

CASES = ("cold", "after fbwarm", "after fbwarm /SERVERCACHE", "reference: full engine read")


def goal_lines(sc, page_size):
    c = sc["cases"]
    after_step = c[CASES[2]]["lookup_s"]["median"]
    ref = c[CASES[3]]["lookup_s"]["median"]
    plain = c[CASES[1]]["lookup_s"]["median"]
    step = sc["step"]
    pages = statistics.median(step["pages"])
    reads = statistics.median(step["file_reads"])
    secs = statistics.median(step["secs"])
    prof = sc["profile"]
    bound = max(reads * page_size / prof["bps"], reads / prof["iops"])
    rows = [
        ("look-ups after /SERVERCACHE within 1.2x of the reference", f"{after_step / ref:.2f}x", after_step <= 1.2 * ref),
        ("look-ups after /SERVERCACHE at most half of after plain fbwarm", f"{after_step / plain:.2f}x",
         after_step <= 0.5 * plain),
        ("step's time at most 1.2x the disk's bound (pages read / request limit, bytes / byte limit)",
         f"{secs:.1f} s against {bound:.1f} s: {secs / bound:.2f}x" if bound else "-",
         bool(bound) and secs <= 1.2 * bound),
        ("page reads at most 1.05x the pages put into the cache", f"{reads:.0f} reads for {pages:.0f} pages: "
         f"{reads / pages:.3f}x" if pages else "-", bool(pages) and reads <= 1.05 * pages),
    ]
    L = ["| goal | measured | met |", "|---|---|---|"]
    L += [f"| {g} | {m} | {'yes' if ok else 'no'} |" for g, m, ok in rows]
    return L


def lines(res):
    sc = res["server_cache"]
    m = res["machine"]
    page_size = 8192
    L = [
        "# /SERVERCACHE: the server's own page cache",
        "",
        f"Database: `{sc['database']}`, {sc['bytes'] / 1e9:.2f} GB, a copy of the benchmark database made by "
        "`bench/servercache-database`: page buffers 430,000 (all of it; the engine then opens the file with "
        "O_DIRECT, past the file cache) and LINGER 900. Firebird 3 SuperServer on this machine.",
        f"Profile: {sc['profile']['name']} (cgroup blkio throttle on the disk, the server inside the group). "
        "Before every case the server is stopped, the file evicted from the file cache and the server started "
        f"again. Then the case's warm-up, then the first {sc['lookups']} primary-key look-ups spread over the "
        f"tables (`lookup_bench`, {sc['found']} rows found). {res['runs']} round(s), cases in turning order.",
        "",
        f"Machine: {m['node']}, {m['cores']} cores, kernel {m['kernel']}; load average at the end "
        f"{m['load_after']:.2f}.",
        "",
        "| case | warm-up, s | read from the disk meanwhile, MB | server page reads after warm-up | "
        "look-ups, s | p50, ms | p99, ms |",
        "|---|---:|---:|---:|---:|---:|---:|",
    ]
    for name in CASES:
        c = sc["cases"][name]
        L.append(f"| {name} | {c['prep_s']['median']:.1f} | {c['prep_read_mb']['median']:.0f} | "
                 f"{c['prep_page_reads']['median']:.0f} | {c['lookup_s']['median']:.2f} | "
                 f"{c['p50_ms']['median']:.2f} | {c['p99_ms']['median']:.2f} |")
    step = sc["step"]
    L += [
        "",
        f"The step itself (fbwarm's summary on standard error): {statistics.median(step['pages']):.0f} pages "
        f"({', '.join(sorted(set(step['order'])))}), {statistics.median(step['file_reads']):.0f} of them read from "
        f"the file, in {statistics.median(step['secs']):.1f} s: "
        f"{statistics.median(step['pages']) / (0.9 * 430000):.0%} of the 387,000 pages (90 % of the buffers) it may "
        "fill. In order of value a table's data pages come whole or not at all, so a table that does not fit "
        "what is left stays out; the look-ups that reach such a table read its data pages from the disk.",
        "",
        "![look-ups](chart-servercache.png)",
        "",
    ]
    L += goal_lines(sc, page_size)
    L += [""]
    L.extend(command_lines(sc.get("commands")))
    return L


def chart(res, out_dir, work):
    sc = res["server_cache"]
    rows = [(name, f"{sc['cases'][name]['lookup_s']['median']:.3f}") for name in CASES]
    data = charts.data_file(work, "servercache.dat", rows)
    charts.draw(f"""set terminal pngcairo size 800,450
set output '{os.path.join(out_dir, "chart-servercache.png")}'
{charts.STYLE}
set title "First {sc['lookups']} look-ups after a restart ({sc['profile']['name']})"
set ylabel "seconds"
plot '{data}' using 2:xtic(1) title "look-ups"
""")


def write(res, out_dir, work):
    chart(res, out_dir, work)
    with open(os.path.join(out_dir, "servercache.md"), "w") as f:
        f.write("\n".join(lines(res)))
