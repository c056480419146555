"""1. The OS file cache: reading the file through."""

from reports.format import STATES, command_lines, mbps

READ_THROUGH = "fbwarm read-through"
DEVICE = "O_DIRECT dd bs=64M (device)"
PEERS = ["cat", "dd bs=64M", "vmtouch -t"]


def secs(d, name, key):
    return d[name]["secs"][key]


def goals(res):
    """Each goal judged on the medians; the best runs are shown beside them, since cold reads on a
    shared machine vary a lot from run to run."""
    size = res["database"]["bytes"]
    fc = res["file_cache"]
    rate = lambda d, n, k: f"{mbps(size, secs(d, n, k)):.0f}"
    fastest = min(PEERS, key=lambda n: secs(fc["cold"], n, "median"))
    rows = []
    for label, state, other, slack in (
            (f"read-through from cold at least as fast as the fastest peer ({fastest})", "cold", fastest, 1.0),
            ("read-through from cold within 10% of the device limit", "cold", DEVICE, 1.10),
            ("read-through from warm within 10% of cat", "warm", "cat", 1.10)):
        d = fc[state]
        fb = READ_THROUGH
        measured = (f"median {rate(d, fb, 'median')} vs {rate(d, other, 'median')} MB/s "
                    f"({secs(d, fb, 'median') / secs(d, other, 'median') - 1:+.0%} time); "
                    f"best {rate(d, fb, 'min')} vs {rate(d, other, 'min')} MB/s")
        rows.append((label, measured, secs(d, fb, "median") <= secs(d, other, "median") * slack))
    return rows


def lines(res):
    size = res["database"]["bytes"]
    fc = res["file_cache"]
    L = ["## 1. OS file cache: reading the file through\n"]
    L.append("Cold: the file's pages evicted first (`vmtouch -e`, residency checked below 1%). "
             "Warm: the file fully resident. `fbwarm read-through` is the program's own run, timed from its "
             "start to the end of its read-through step, which its result record `server` marks "
             "(FBWARM_RESULT_FD); its `/SERVER:` is a loopback port that refuses, so the run ends right "
             "after that step with a FEHLER line and no server reads the file meanwhile. A single stream of "
             "O_DIRECT reads is the device's limit for one reader without the cache; the kernel's read-ahead "
             "keeps more requests in flight and can pass it. vmtouch maps the whole file, so its RSS counts "
             "the file's cached pages, not memory it allocated.\n")
    L.append("| Tool | State | Min s | Median s | MB/s (median) | MB/s (best) | Resident before | Resident after | Peak RSS MiB |")
    L.append("|---|---|---|---|---|---|---|---|---|")
    for state in STATES:
        for name, d in fc[state].items():
            s = d["secs"]
            L.append(f"| {name} | {state} | {s['min']:.3f} | {s['median']:.3f} | {mbps(size, s['median']):.0f} | "
                     f"{mbps(size, s['min']):.0f} | {d['residency_before']:.1%} | {d['residency_after']:.1%} | "
                     f"{d['rss_kib'] / 1024:.1f} |")
    L.append("")
    L.extend(command_lines(fc.get("commands")))
    return L
