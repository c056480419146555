#!/usr/bin/python3
"""Writes the report of the benchmark suite from its results alone: report.md and the charts from
results.json, in the same directory. bench/run calls it after measure.py; run it by hand to
rewrite a report after changing how it words the results."""

import argparse
import json
import os
import tempfile

from reports import main_suite


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--out", required=True, help="the directory that holds results.json")
    a = p.parse_args()
    with open(os.path.join(a.out, "results.json")) as f:
        res = json.load(f)
    with tempfile.TemporaryDirectory() as work:
        main_suite.write(res, a.out, work)
    print(os.path.join(a.out, "report.md"))


if __name__ == "__main__":
    main()
