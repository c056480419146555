"""How figures are written in the reports."""

MB = 1_000_000  # throughput in decimal megabytes per second, as dd prints it
STATES = ("cold", "warm")


def human_size(size):
    return f"{size / 2**30:.2f} GiB" if size >= 2**30 else f"{size / 2**20:.1f} MiB"


def mbps(size, secs):
    return size / secs / MB


def ratio(a, b):
    """Median of a over median of b, and the range of the ratios round by round (the cases
    alternate, so round r of a ran beside round r of b)."""
    per_round = [x / y for x, y in zip(a["runs"], b["runs"])]
    return a["median"] / b["median"], min(per_round), max(per_round)


def fmt_ratio(r):
    return f"{r[0]:.2f}x (rounds {r[1]:.2f}-{r[2]:.2f})"


def spread(s, unit="s", digits=3):
    return f"{s['median']:.{digits}f} ({s['min']:.{digits}f}-{s['max']:.{digits}f}) {unit}".rstrip()


def median_share(d, key):
    return f"{d[key]['median']:.1%}" if key in d else "-"


def median_mb(d, key):
    return f"{d[key]['median']:.0f} ({d[key]['min']:.0f}-{d[key]['max']:.0f})" if key in d else "-"


def command_lines(commands, what="Timed"):
    """The commands a section ran, as its results name them (passwords masked, programs of the
    source tree by their path in it); nothing for results that did not record them."""
    if not commands:
        return []
    L = [f"{what}:\n", "| Case | Command |", "|---|---|"]
    L.extend(f"| {name} | `{cmd}` |" for name, cmd in commands.items())
    L.append("")
    return L
