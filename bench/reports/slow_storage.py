"""5. Slow storage: what warming is worth after a restart, per throttle profile (slow_profile)."""

from reports.format import command_lines, fmt_ratio, ratio
from reports.slow_profile import PROFILE_TITLES, fastest_reader, profile_lines, write_chart
from suite.fbwarm import SKIP_PARAM


def goals(res):
    rows = []
    for name, p in res["slow"]["profiles"].items():
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


def lines(res):
    slow = res["slow"]
    L = ["## 5. Slow storage: what warming is worth after a restart\n"]
    L.append(f"The disk `{slow['disk']}` ({slow['dev']}, largest request {slow['max_request_kb']} KiB, read-ahead "
             f"{slow['read_ahead_kb']} KiB) is throttled for the Firebird server and the programs under test with "
             "the kernel's block I/O controller (bench/suite/storage.py): the server is restarted inside a cgroup "
             "that limits reads to the profile's bytes and requests per second. Profiles: "
             + "; ".join(f"{n}: {t}" for n, t in PROFILE_TITLES.items() if n != "none") + ". "
             f"Times are medians with the range over the rounds in brackets. fbwarm under test: `{slow['fbwarm']}` "
             f"({'with' if slow['skip_cached'] else 'without'} {SKIP_PARAM}).\n")
    if slow.get("skipped"):
        L.append(f"**Throttled profiles skipped:** {slow['skipped']}.\n")
    L.extend(command_lines(commands(slow), "Timed (each profile runs those of its parts)"))
    for name, p in slow["profiles"].items():
        L.extend(profile_lines(name, p, res["runs"]))
    return L


def commands(slow):
    """The commands of every part, each name once: the profiles run the same ones."""
    found = {}
    for p in slow["profiles"].values():
        for part in [p["first_runs"], p.get("scripted", {})] + list(p.get("readers", {}).values()):
            for name, cmd in part.get("commands", {}).items():
                found.setdefault(name, cmd)
    return found


def write_charts(res, out_dir, work):
    for name, p in res["slow"]["profiles"].items():
        write_chart(name, p, res, out_dir, work)
