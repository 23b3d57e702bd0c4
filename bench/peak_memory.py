"""Benchmark of memory: the bootstrapper's peak resident set on the download
route from an empty cache, for a 10 MB and a 1 GB agent archive.

GNU time starts the bootstrapper and reports the peak: the larger of the
bootstrapper's own and that of the unzip it waits for. (A child of this
Python process would report at least this process's own size, which it
shares until it starts the program.)"""
import os
import tempfile

from measure import Figure
from served_agent import ServedAgent

TIME = "/usr/bin/time"
SMALL_BYTES = 10 * 1000 * 1000
LARGE_BYTES = 1000 * 1000 * 1000
LIMIT_MB = 16
SPREAD_MB = 2


def peak_megabytes(size, runs):
    """The peak resident set of each of "runs" runs, in MB."""
    peaks = []
    with ServedAgent(size) as served, tempfile.TemporaryDirectory() as scratch:
        report = os.path.join(scratch, "peak")
        for _ in range(runs):
            served.run_bootstrapper(wrapper=[TIME, "-f", "%M", "-o", report])
            with open(report) as kilobytes:
                peaks.append(int(kilobytes.read()) * 1024 / 1e6)
    return peaks


def peak_memory(repetitions):
    # The peak hardly varies from run to run, and a gigabyte takes a while.
    runs = max(1, repetitions // 7)
    print(f"peak memory: {SMALL_BYTES / 1e6:.0f} MB and "
          f"{LARGE_BYTES / 1e6:.0f} MB archives, {runs} run(s) each")
    small = peak_megabytes(SMALL_BYTES, runs)
    large = peak_megabytes(LARGE_BYTES, runs)
    spread = [abs(a - b) for a, b in zip(large, small)]
    return [Figure("peak RSS, 10 MB archive", small, "MB", LIMIT_MB),
            Figure("peak RSS, 1 GB archive", large, "MB", LIMIT_MB),
            Figure("peak RSS, 1 GB against 10 MB", spread, "MB", SPREAD_MB)]
