"""2. The server side: the statistics action over data and index pages."""

from reports.format import STATES, command_lines

STATS_RUN = "fbwarm statistics run"


def goals(res):
    ss = res["server_side"]
    rows = []
    for state in STATES:
        d = ss[state]
        a, b = STATS_RUN, "fbsvcmgr action_db_stats"
        secs = lambda n, k: d[n]["secs"][k]
        rows.append((f"statistics run ({state}) within 5% of fbsvcmgr",
                     f"median {secs(a, 'median'):.2f} vs {secs(b, 'median'):.2f} s "
                     f"({secs(a, 'median') / secs(b, 'median') - 1:+.1%}); "
                     f"best {secs(a, 'min'):.2f} vs {secs(b, 'min'):.2f} s",
                     secs(a, "median") <= secs(b, "median") * 1.05))
    return rows


def lines(res):
    ss = res["server_side"]
    L = ["## 2. Server side: the statistics action over data and index pages\n"]
    L.append("`fbwarm statistics run` is fbwarm with `/DB:` naming a server-side alias of the same file, run where "
             "the file's directory is hidden (an empty tmpfs over it in a mount namespace of its own), so fbwarm "
             "skips its read-through and only runs the statistics action while the server reads the file. "
             "`fbwarm full run` is the normal run (read-through, then the statistics action). Ratio: median "
             "time of the tool divided by that of the fbwarm statistics run.\n")
    L.append("| Tool | Cold min s | Cold median s | Cold ratio | Warm min s | Warm median s | Warm ratio | Peak RSS MiB |")
    L.append("|---|---|---|---|---|---|---|---|")
    base = {s: ss[s][STATS_RUN]["secs"]["median"] for s in STATES}
    for name in ss["cold"]:
        c, w = ss["cold"][name]["secs"], ss["warm"][name]["secs"]
        rss = max(ss["cold"][name]["rss_kib"], ss["warm"][name]["rss_kib"]) / 1024
        L.append(f"| {name} | {c['min']:.3f} | {c['median']:.3f} | {c['median'] / base['cold']:.2f} | "
                 f"{w['min']:.3f} | {w['median']:.3f} | {w['median'] / base['warm']:.2f} | {rss:.1f} |")
    L.append("")
    L.extend(command_lines(ss.get("commands")))
    return L
