"""One throttle profile of section 5: its tables and its chart."""

import os

from measurements.slow_first_runs import SEED
from reports import charts
from reports.format import STATES, fmt_ratio, human_size, median_mb, median_share, ratio, spread

PROFILE_TITLES = {
    "none": "unthrottled disk",
    "cloud": "cloud volume (125 MB/s, 3000 IOPS)",
    "spinning": "spinning disk (150 MB/s, 150 IOPS)",
}


def fastest_reader(tools):
    others = {n: s for n, s in tools.items() if n != "fbwarm read-through"}
    return min(others, key=lambda n: others[n]["median"])


def first_runs_lines(fr):
    c = fr["cases"]
    L = [f"Each case from a real restart: server stopped, file evicted (fully warm: loaded), server started; "
         f"then the warming step, then {fr['lookups']} point queries by primary key on random rows of all four "
         f"tables (seed {SEED}, the same keys in every case, {fr['found']} rows found) from one client "
         "(bench/lookup_bench), then the server restarted once more (cold: file evicted again, else left "
         "as it is) and `SELECT COUNT(*)` over every table. Resident: the file's share in the page cache after "
         "the warming step and again just before the scan; read by scan: megabytes the disk delivered while the "
         "scan ran (anyone's reads, the machine otherwise idle). Ratios: to fully warm.\n"]
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
    return L


def readers_lines(rd):
    best = fastest_reader(rd["tools"])
    L = [f"Reading a {rd['bytes'] / 2**20:.0f} MiB copy of the database's first part from cold at read-ahead "
         f"{rd['read_ahead_kb']} KiB (fio: io_uring, buffered, 1 MiB blocks, queue depth 32, timed by its own job "
         "runtime, without its set-up of about 0.7 s; fbwarm to the end of its read-through step, as in "
         f"section 1). Ratio: to the fastest other reader ({best}).\n"]
    L.append("| Reader | Time s | MB/s (median) | Ratio | Resident after (least) |")
    L.append("|---|---|---|---|---|")
    for tool, s in rd["tools"].items():
        resident = rd.get("resident_after", {}).get(tool)
        L.append(f"| {tool} | {spread(s)} | {rd['bytes'] / s['median'] / 1e6:.0f} | "
                 f"{fmt_ratio(ratio(s, rd['tools'][best]))} | "
                 f"{'-' if resident is None else f'{resident:.1%}'} |")
    L.append("")
    return L


def scripted_lines(sc):
    L = ["fbwarm's full run against what a user would otherwise script (`vmtouch -t` on the file, then "
         "`fbsvcmgr ... action_db_stats sts_data_pages sts_idx_pages`), file evicted (cold) or resident "
         "(warm) before each run. Ratio: to the scripted combination.\n"]
    L.append("| Program | State | Time s | Ratio |")
    L.append("|---|---|---|---|")
    for state in STATES:
        tools = sc[state]
        for tool, s in tools.items():
            L.append(f"| {tool} | {state} | {spread(s)} | "
                     f"{fmt_ratio(ratio(s, tools['vmtouch -t + fbsvcmgr']))} |")
    L.append("")
    return L


def profile_lines(name, p, runs):
    L = [f"### {PROFILE_TITLES[name]}\n"]
    L.extend(first_runs_lines(p["first_runs"]))
    for kb, rd in p.get("readers", {}).items():
        L.extend(readers_lines(rd))
    if p.get("scripted"):
        L.extend(scripted_lines(p["scripted"]))
    L.append(f"![{name}](chart-{name}.png)\n")
    return L


def write_chart(name, p, res, out_dir, work):
    c = p["first_runs"]["cases"]
    d1 = charts.data_file(work, f"{name}-first.dat", [
        (case, f'{d["prep"]["median"]:.3f}', f'{d["lookup_s"]["median"]:.3f}', f'{d["scan"]["median"]:.3f}')
        for case, d in c.items()])
    plots = [
        ("First look-ups after a restart (total seconds)", f'plot "{d1}" using 3:xtic(1) notitle lc rgb "#3b6ea5"'),
        ("First full scan after a restart (seconds)",
         f'set style histogram rowstacked\nplot "{d1}" using 2:xtic(1) title "warming step" lc rgb "#999999", '
         f'"" using 4 title "scan" lc rgb "#3b6ea5"\nset style histogram clustered gap 1'),
    ]
    if p.get("readers"):
        kbs = list(p["readers"])
        d2 = charts.data_file(work, f"{name}-readers.dat", [
            (tool, *(f'{p["readers"][kb]["bytes"] / p["readers"][kb]["tools"][tool]["median"] / 1e6:.1f}'
                     for kb in kbs))
            for tool in p["readers"][kbs[0]]["tools"]])
        cols = ", ".join(f'"{d2}" using {i + 2}{":xtic(1)" if i == 0 else ""} title "read-ahead {kb} KiB"'
                         for i, kb in enumerate(kbs))
        plots.append(("Reading from cold (MB/s, higher is better)", f"plot {cols}"))
    elif p.get("scripted"):
        sc = p["scripted"]
        d2 = charts.data_file(work, f"{name}-scripted.dat", [
            (tool, f'{sc["cold"][tool]["median"] if tool in sc["cold"] else 0:.3f}', f'{sc["warm"][tool]["median"]:.3f}')
            for tool in sc["warm"]])
        plots.append(("Full run vs vmtouch -t + fbsvcmgr (seconds)",
                      f'plot "{d2}" using 2:xtic(1) title "cold" lc rgb "#3b6ea5", "" using 3 title "warm" '
                      'lc rgb "#e39b2d"'))
    body = "\n".join(f'set title "{t}"\n{cmd}' for t, cmd in plots)
    charts.draw(f"""
set terminal pngcairo noenhanced size {500 * len(plots)},560 font "sans,10"
set output "{os.path.join(out_dir, f'chart-{name}.png')}"
set multiplot layout 1,{len(plots)} title "{PROFILE_TITLES[name]}, {human_size(res['database']['bytes'])} database (medians of {res['runs']} runs)"
{charts.STYLE}
{body}
unset multiplot
""")
