"""How the suite runs its cases: in rounds whose order turns by one each time, so that no case
always runs first, and each case's samples summed up as the reports show them."""

import statistics


def rotated(items, k):
    k %= len(items)
    return items[k:] + items[:k]


def summary(samples):
    return {"min": min(samples), "median": statistics.median(samples), "max": max(samples), "runs": samples}
