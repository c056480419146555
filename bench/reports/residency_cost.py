"""4. What the residency checks cost, beside a cold read-through (section 1)."""

from reports.format import command_lines

MECHANISMS = {"cachestat": "cachestat(2), Linux 6.5 and later", "mincore": "mincore(2), older kernels"}


def cold_read_through_ms(res):
    return res["file_cache"]["cold"]["fbwarm read-through"]["secs"]["median"] * 1000


def goals(res):
    rc = res.get("residency_cost")
    if not rc:
        return []
    m = rc["mechanisms"]["cachestat"]
    if m is None:
        return [("residency checks by cachestat under 1% of a cold read-through",
                 "not measured: this kernel has no cachestat", None)]
    share = m["checks_ms"]["median"] / cold_read_through_ms(res)
    return [("residency checks by cachestat under 1% of a cold read-through",
             f"{m['checks_ms']['median']:.1f} ms, {share:.2%} (mincore: {mincore_share(res)})", share < 0.01)]


def mincore_share(res):
    m = res["residency_cost"]["mechanisms"]["mincore"]
    return "-" if m is None else f"{m['checks_ms']['median']:.1f} ms, {m['checks_ms']['median'] / cold_read_through_ms(res):.2%}"


def lines(res):
    rc = res.get("residency_cost")
    if not rc:
        return []
    read_ms = cold_read_through_ms(res)
    L = ["## 4. What the residency checks cost\n"]
    L.append("The operator's report asks the kernel how much of the database file the page cache holds, once "
             "before the read-through and once after it; `/SKIPCACHED` asks once more per request "
             f"({rc['requests']} requests of 64 MiB here). bench/residency_cost makes these checks as the tool "
             "does, on the database file: evicted, the whole file checked, read through, checked again; then "
             "every request checked on the now cached file. mincore is forced through the testing seam "
             "(platform/testing.h), which only tests and the bench link. Share: of section 1's cold "
             f"read-through by fbwarm ({read_ms / 1000:.3f} s, median). Times are medians with the range over "
             "the rounds in brackets.\n")
    L.append("| Mechanism | Checks before + after ms | Share | /SKIPCACHED checks, cached file ms |")
    L.append("|---|---|---|---|")
    for name, title in MECHANISMS.items():
        m = rc["mechanisms"][name]
        if m is None:
            L.append(f"| {title} | not on this kernel | | |")
            continue
        c, q = m["checks_ms"], m["request_checks_ms"]
        L.append(f"| {title} | {c['median']:.2f} ({c['min']:.2f}-{c['max']:.2f}) | {c['median'] / read_ms:.2%} | "
                 f"{q['median']:.2f} ({q['min']:.2f}-{q['max']:.2f}) |")
    L.append("")
    L.extend(command_lines(rc.get("commands")))
    return L
