"""3. Memory: the peak resident set size of every program timed in sections 1 and 2."""

from reports.format import STATES

FULL_RUN = "fbwarm full run"


def peak_mib(section, name):
    return max(section[s][name]["rss_kib"] for s in STATES) / 1024


def goals(res):
    rss = peak_mib(res["server_side"], FULL_RUN)
    return [("peak RSS of a full run under 80 MiB", f"{rss:.1f} MiB", rss < 80)]


def lines(res):
    fc, ss = res["file_cache"], res["server_side"]
    L = ["## 3. Memory\n"]
    L.append("Peak resident set size (`/usr/bin/time`, maximum over all runs):\n")
    L.append("| Program | Peak RSS MiB |")
    L.append("|---|---|")
    for name in (FULL_RUN, "fbwarm statistics run", "fbsvcmgr action_db_stats", "fbstat -d -i"):
        L.append(f"| {name} | {peak_mib(ss, name):.1f} |")
    for name in ("fbwarm read-through", "cat", "dd bs=64M", "vmtouch -t"):
        L.append(f"| {name} | {peak_mib(fc, name):.1f} |")
    L.append("")
    return L
