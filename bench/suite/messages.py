"""The suite's one failure and its progress lines on standard error."""

import sys


class BenchError(Exception):
    """A measurement that cannot go on: a command failed, or a state the suite set up did not hold."""


def log(text):
    print(f"bench: {text}", file=sys.stderr, flush=True)
