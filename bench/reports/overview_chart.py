"""chart.png: sections 1 and 2 side by side, medians cold and warm."""

import os

from reports import charts
from reports.format import human_size


def medians(section):
    """Per case, its cold and warm medians; 0 where it ran only cold (the device's limit)."""
    warm = lambda name: section["warm"][name]["secs"]["median"] if name in section["warm"] else 0
    return [(name, f'{section["cold"][name]["secs"]["median"]:.3f}', f"{warm(name):.3f}") for name in section["cold"]]


def lines(res):
    return ["![chart](chart.png)\n"]


def write(res, out_dir, work):
    size = res["database"]["bytes"]
    fc, ss = res["file_cache"], res["server_side"]
    d1 = charts.data_file(work, "read.dat", medians(fc))
    d2 = charts.data_file(work, "stats.dat", medians(ss))
    png = os.path.join(out_dir, "chart.png")
    charts.draw(f"""
set terminal pngcairo noenhanced size 1000,560 font "sans,10"
set output "{png}"
set multiplot layout 1,2 title "fbwarm vs. peers on a {human_size(size)} Firebird database (medians of {res['runs']} runs)"
{charts.STYLE}
set title "1. Reading the file through (seconds, lower is better)"
plot "{d1}" using 2:xtic(1) title "cold" lc rgb "#3b6ea5", "" using 3 title "warm" lc rgb "#e39b2d"
set title "2. Statistics action (seconds, lower is better)"
plot "{d2}" using 2:xtic(1) title "cold" lc rgb "#3b6ea5", "" using 3 title "warm" lc rgb "#e39b2d"
unset multiplot
""")
