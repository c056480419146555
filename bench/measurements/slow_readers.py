"""Readers on one storage profile: a copy of the database's first part read from cold by fbwarm's
read-through, cat, dd, vmtouch and fio, at one read-ahead size."""

import json
import os
import subprocess

from measurements.file_cache import READ_THROUGH
from suite import fbwarm
from suite.messages import BenchError, log
from suite.page_cache import PageCache
from suite.rounds import rotated, summary

# The readers read a copy of the database's first part: a whole 3 GB read at 125 MB/s takes
# 27 s, and 5 readers x 5 runs x 4 settings of that would not fit the time.
READ_SLICE_MIB = {"full": 256, "tiny": 32}


def fio_seconds(path, size):
    """fio's own time for the job: its set-up before the first read takes about 0.7 s here,
    which would swamp the reads of a small file."""
    with open(path) as f:
        job = json.load(f)["jobs"][0]
    if job["read"]["io_bytes"] != size:
        raise BenchError(f"fio read {job['read']['io_bytes']} bytes of {size}")
    return job["read"]["runtime"] / 1000


def slice_file(ctx):
    path = os.path.join(ctx.work, "read-slice.bin")
    if not os.path.exists(path):
        subprocess.run(["dd", f"if={ctx.db}", f"of={path}", "bs=1M", f"count={READ_SLICE_MIB[ctx.size]}",
                        "status=none"], check=True)
    return path


def tools(ctx, path, fio_json):
    return [
        (READ_THROUGH, ctx.fbwarm.read_through(path)),
        ("cat", ["cat", path]),
        ("dd bs=64M", ["dd", f"if={path}", "of=/dev/null", "bs=64M", "status=none"]),
        ("vmtouch -t", ["vmtouch", "-tq", path]),
        ("fio io_uring", ["fio", "--name=seq", f"--filename={path}", "--rw=read", "--ioengine=io_uring",
                          "--direct=0", "--bs=1M", "--iodepth=32", "--invalidate=0", "--readonly",
                          "--output-format=json", f"--output={fio_json}"]),
    ]


def timed(ctx, name, cmd, path, fio_json):
    if name == READ_THROUGH:
        return fbwarm.read_through_seconds(ctx.run(cmd, records=True))
    took = ctx.run(cmd, keep_output=False).secs
    return fio_seconds(fio_json, os.path.getsize(path)) if name.startswith("fio") else took


def measure(ctx, storage, read_ahead_kb):
    path = slice_file(ctx)
    storage.disk.set_read_ahead_kb(read_ahead_kb)
    fio_json = os.path.join(ctx.work, "fio.json")
    readers = tools(ctx, path, fio_json)
    cache = PageCache(path)
    acc = {n: [] for n, _ in readers}
    resident = {n: [] for n, _ in readers}
    for r in range(ctx.runs):
        for name, cmd in rotated(readers, r):
            cache.evict()
            acc[name].append(timed(ctx, name, cmd, path, fio_json))
            resident[name].append(cache.residency())
        log(f"{storage.profile}: readers at read-ahead {read_ahead_kb} KiB, round {r + 1}/{ctx.runs}")
    return {"bytes": os.path.getsize(path), "read_ahead_kb": storage.disk.read_ahead_kb(),
            "tools": {n: summary(v) for n, v in acc.items()},
            "resident_after": {n: min(v) for n, v in resident.items()}, "commands": ctx.shown(readers)}
