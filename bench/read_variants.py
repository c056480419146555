#!/usr/bin/python3
"""Times variants of the read-through loop on one file, cold and warm, to find what would make the
tool's read-through faster: request size, read-ahead hints, O_NOATIME, parallel readers.
The 64 MiB variants run in Python: with about 80 reads for a 5 GB file its per-call cost is
negligible (the plain variant matches the tool's own loop). Other request sizes run through dd,
whose loop is C. Usage: bench/read_variants.py FILE TOOL_READER [RUNS]
bench/run builds TOOL_READER (build-bench/read_through_bench)."""

import os
import statistics
import subprocess
import sys
import threading
import time

MIB64 = 64 << 20
REQUEST = MIB64 - 1  # the tool's request size


def read_loop(path, flags=0, advice=None, ahead=0, willneed_all=False, request=REQUEST):
    fd = os.open(path, os.O_RDONLY | flags)
    try:
        if advice is not None:
            os.posix_fadvise(fd, 0, 0, advice)
        if willneed_all:
            os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_WILLNEED)
        buf = memoryview(bytearray(MIB64))[:request]
        pos = 0
        while True:
            if ahead:
                os.posix_fadvise(fd, pos + request, ahead, os.POSIX_FADV_WILLNEED)
            n = os.readv(fd, [buf])
            if n <= 0:
                break
            pos += n
    finally:
        os.close(fd)


def parallel(path, streams):
    """Each stream reads its own contiguous part with 64 MiB requests."""
    size = os.path.getsize(path)
    part = -(-size // streams)

    def worker(start):
        fd = os.open(path, os.O_RDONLY)
        try:
            buf = memoryview(bytearray(MIB64))[:REQUEST]
            pos, end = start, min(start + part, size)
            while pos < end:
                n = os.preadv(fd, [buf[: min(REQUEST, end - pos)]], pos)
                if n <= 0:
                    break
                pos += n
        finally:
            os.close(fd)

    threads = [threading.Thread(target=worker, args=(i * part,)) for i in range(streams)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def dd(path, bs, *flags):
    cmd = ["dd", f"if={path}", "of=/dev/null", f"bs={bs}", "status=none"] + [f"iflag={f}" for f in flags]
    return lambda: subprocess.run(cmd, check=True)


def main():
    path, reader = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 9
    variants = {
        "tool ReadThroughFile (64 MiB reads)": lambda: subprocess.run([reader, path], check=True, stdout=subprocess.DEVNULL),
        "same loop in Python": lambda: read_loop(path),
        "same loop, requests of exactly 64 MiB": lambda: read_loop(path, request=MIB64),
        "+ O_NOATIME": lambda: read_loop(path, flags=os.O_NOATIME),
        "+ POSIX_FADV_SEQUENTIAL": lambda: read_loop(path, advice=os.POSIX_FADV_SEQUENTIAL),
        "+ POSIX_FADV_WILLNEED, whole file first": lambda: read_loop(path, willneed_all=True),
        "+ POSIX_FADV_WILLNEED, next 64 MiB before each read": lambda: read_loop(path, ahead=MIB64),
        "+ POSIX_FADV_WILLNEED, next 256 MiB before each read": lambda: read_loop(path, ahead=4 * MIB64),
        "4 parallel readers, 64 MiB reads": lambda: parallel(path, 4),
        "dd bs=64M": dd(path, "64M"),
        "dd bs=8M": dd(path, "8M"),
        "dd bs=1M": dd(path, "1M"),
        "dd bs=128K": dd(path, "128K"),
        "vmtouch -t (mmap, touch each page)": lambda: subprocess.run(["vmtouch", "-tq", path], check=True),
        "dd bs=64M iflag=direct (no cache)": dd(path, "64M", "direct"),
        "cat": lambda: subprocess.run(["cat", path], check=True, stdout=subprocess.DEVNULL),
    }
    size = os.path.getsize(path)
    names = list(variants)
    print(f"{size / 2**30:.2f} GiB, {runs} runs each, variants alternating; MB/s = 10^6 B/s")
    print("| Variant | Cold min s | Cold median s | Cold MB/s (median) | Warm min s | Warm median s | Warm MB/s (median) |")
    print("|---|---|---|---|---|---|---|")
    times = {n: {"cold": [], "warm": []} for n in names}
    for state in ("cold", "warm"):
        for r in range(runs):
            for n in names[r % len(names):] + names[: r % len(names)]:
                subprocess.run(["vmtouch", "-eq" if state == "cold" else "-tq", path], check=True)
                start = time.perf_counter()
                variants[n]()
                times[n][state].append(time.perf_counter() - start)
            print(f"{state} round {r + 1}/{runs}", file=sys.stderr, flush=True)
    for n in names:
        c, w = statistics.median(times[n]["cold"]), statistics.median(times[n]["warm"])
        print(f"| {n} | {min(times[n]['cold']):.3f} | {c:.3f} | {size / c / 1e6:.0f} | "
              f"{min(times[n]['warm']):.3f} | {w:.3f} | {size / w / 1e6:.0f} |")


if __name__ == "__main__":
    main()
