#!/usr/bin/python3
"""Writes the report of one suite of the benchmark from its results alone: report.md and the
charts from results.json (main), firebird4.md from firebird4.json (firebird4), in the directory
that holds the results. bench/run calls it after measure.py; run it by hand to rewrite a report
after changing how it words the results."""

import argparse
import json
import os
import tempfile

from reports import firebird4_suite, fit_suite, main_suite, servercache_suite

SUITES = {
    "main": ("results.json", main_suite, "report.md"),
    "firebird4": ("firebird4.json", firebird4_suite, "firebird4.md"),
    "fit": ("fit.json", fit_suite, "fit.md"),
    "servercache": ("servercache.json", servercache_suite, "servercache.md"),
}


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--suite", choices=SUITES, default="main")
    p.add_argument("--out", required=True, help="the directory that holds the results file")
    a = p.parse_args()
    results, writer, report = SUITES[a.suite]
    with open(os.path.join(a.out, results)) as f:
        res = json.load(f)
    with tempfile.TemporaryDirectory() as work:
        writer.write(res, a.out, work)
    print(os.path.join(a.out, report))


if __name__ == "__main__":
    main()
