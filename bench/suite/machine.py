"""The machine a suite ran on, recorded beside its results."""

import datetime
import os
import platform
import re
import subprocess

from suite.commands import run


def first_match(cmd, pattern):
    try:
        m = re.search(pattern, run(cmd).stdout, re.M)
        return m.group(1).strip() if m else "?"
    except (OSError, subprocess.CalledProcessError):
        return "?"


def facts(server_version_cmd):
    return {
        "date": datetime.datetime.now().strftime("%Y-%m-%d %H:%M"),
        "node": platform.node(),
        "cpu": first_match(["lscpu"], r"^Model name:\s*(.*)$"),
        "cores": os.cpu_count(),
        "memory_gib": round(os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30, 1),
        "kernel": platform.release(),
        "firebird": first_match(server_version_cmd, r"Server version:\s*(.*)$"),
        "load_before": os.getloadavg()[0],
    }
