"""Bar charts through gnuplot, all in one look."""

import os
import subprocess

# The look of every bar chart of the suite.
STYLE = """set bmargin 9
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set grid ytics
set xtics rotate by -30 scale 0
set key top right horizontal
set offsets 0, 0, graph 0.15, 0
set yrange [0:*]"""


def data_file(work, name, rows):
    """Writes rows (a label and its values) where gnuplot reads them; returns the path."""
    path = os.path.join(work, name)
    with open(path, "w") as f:
        for label, *values in rows:
            f.write(f'"{label}" {" ".join(values)}\n')
    return path


def draw(script):
    subprocess.run(["gnuplot"], input=script, text=True, check=True)
