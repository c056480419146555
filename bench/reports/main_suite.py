"""report.md and its charts: the main suite, sections 1 to 5 under one table of goals."""

import os

from reports import file_cache, memory, overview_chart, residency_cost, server_side, slow_storage
from reports.format import human_size

SECTIONS = [file_cache, server_side, memory, overview_chart, residency_cost, slow_storage]


def header_lines(res):
    size = res["database"]["bytes"]
    m = res["machine"]
    L = ["# fbwarm benchmarks\n"]
    L.append(f"Measured {m['date']} on {m['cpu']}, {m['cores']} cores, {m['memory_gib']} GiB memory, "
             f"Linux {m['kernel']}, Firebird {m['firebird']}; load average {m['load_before']:.2f} before, "
             f"{m['load_after']:.2f} after.  ")
    L.append(f"Database: `{res['database']['path']}`, {human_size(size)} ({size:,} bytes), four tables with "
             f"two or three indexes each (scripts/make-database). {res['runs']} runs of every case, the cases "
             "alternating round by round; times are wall-clock times of the whole process (fbwarm's "
             "read-through: to the end of that step, section 1). "
             "MB/s are 10^6 bytes per second. Re-run with `bench/run`.\n")
    took = res.get("durations_s")
    if took:
        L.append(f"The suite took {sum(took.values()) / 60:.1f} minutes: "
                 + ", ".join(f"{name} {secs / 60:.1f}" for name, secs in took.items()) + ".\n")
    return L


def goal_lines(res):
    L = ["## Goals\n"]
    L.append("| Goal | Measured | Met (on the medians) |")
    L.append("|---|---|---|")
    for section in SECTIONS:
        for goal, measured, ok in section.goals(res) if hasattr(section, "goals") else ():
            met = "-" if ok is None else "yes" if ok else "**no**"
            L.append(f"| {goal} | {measured} | {met} |")
    L.append("")
    return L


def write(res, out_dir, work):
    L = header_lines(res) + goal_lines(res)
    for section in SECTIONS:
        L.extend(section.lines(res))
    if os.path.exists(os.path.join(out_dir, "findings.md")):
        L.append("What was tried where fbwarm falls short: [findings.md](findings.md).\n")
    with open(os.path.join(out_dir, "report.md"), "w") as f:
        f.write("\n".join(L))
    overview_chart.write(res, out_dir, work)
    slow_storage.write_charts(res, out_dir, work)
