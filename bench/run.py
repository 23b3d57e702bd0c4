#!/usr/bin/env python3
"""Benchmarks of the bootstrapper against the commands a user would run
instead.

    python3 bench/run.py [--quick] [--only NAME] BOOTSTRAPPER

Each benchmark runs the bootstrapper and its reference in this one
invocation, interleaved (bootstrapper, reference, bootstrapper, ...) on the
same files. The table gives each side's median, the median of the ratios
bootstrapper/reference within each pair of runs, which is held against the
target, and the ratio of the two medians. The exit status is 1 when a target
is missed.
"""
import argparse
import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "tests"))

import bundle_fixture  # noqa: E402
from cache_hit import cache_hit  # noqa: E402
from cut_download import cut_download  # noqa: E402
from download_route import download_route  # noqa: E402
from fleet import fleet  # noqa: E402
from gtk_window import gtk_window  # noqa: E402
from measure import (BenchError, Figure, Row, load_average,  # noqa: E402
                     machine)
from peak_memory import peak_memory  # noqa: E402
from progress_drawing import progress_drawing  # noqa: E402
from resume_across_runs import resume_across_runs  # noqa: E402
from shipped_route import shipped_route  # noqa: E402
from signed_download import signed_download  # noqa: E402

# Name to function, in the order they run: each takes the number of timed
# runs per side and returns its rows (measure.Row) and figures
# (measure.Figure). The download benchmarks take their bundle, archive and
# server from served_agent.py. Memory comes last: the disk is still writing
# back its gigabyte when it ends, which would slow the timed runs after it.
BENCHMARKS = {
    "shipped": shipped_route,
    "download": download_route,
    "cut": cut_download,
    "resume": resume_across_runs,
    "cache": cache_hit,
    "progress": progress_drawing,
    "gtk": gtk_window,
    "signed": signed_download,
    "fleet": fleet,
    "memory": peak_memory,
}

REPETITIONS = 21
QUICK_REPETITIONS = 5


def milliseconds(samples):
    return f"{statistics.median(samples) * 1000:9.1f} ms"


def verdict(target, missed, unit=""):
    return "-" if target is None else (
        f"<= {target:.2f}{unit} " + ("MISSED" if missed else "met"))


def print_table(rows):
    """Prints the rows held against a reference, then the figures held
    against a bound of their own."""
    compared = [row for row in rows if isinstance(row, Row)]
    figures = [row for row in rows if isinstance(row, Figure)]
    if compared:
        print(f"{'benchmark':<40} {'bootstrapper':>12} {'reference':>12} "
              f"{'ratio':>6} {'medians':>7}  target")
    for row in compared:
        print(f"{row.name:<40} {milliseconds(row.bootstrapper)} "
              f"{milliseconds(row.reference)} {row.ratio():6.3f} "
              f"{row.ratio_of_medians():7.3f}  "
              f"{verdict(row.target, row.missed())}")
    if compared:
        print("ratio: median of the ratios within each pair of runs, held "
              "against the target;\nmedians: ratio of the two medians\n")
    for figure in figures:
        value = f"{figure.value():.2f} {figure.unit}"
        print(f"{figure.name:<40} {value:>12}  "
              f"{verdict(figure.target, figure.missed(), ' ' + figure.unit)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("bootstrapper")
    parser.add_argument("--quick", action="store_true",
                        help=f"{QUICK_REPETITIONS} runs per side instead "
                             f"of {REPETITIONS}")
    parser.add_argument("--only", choices=sorted(BENCHMARKS),
                        action="append", help="run only this benchmark")
    options = parser.parse_args()
    bundle_fixture.BOOTSTRAPPER = os.path.abspath(options.bootstrapper)
    repetitions = QUICK_REPETITIONS if options.quick else REPETITIONS

    print(f"machine: {machine()}")
    print(f"{repetitions} timed runs per side unless a benchmark says "
          f"fewer, interleaved, after one warm-up each; medians")
    rows = []
    try:
        for name in options.only or BENCHMARKS:
            rows += BENCHMARKS[name](repetitions)
    except BenchError as error:
        sys.exit(f"benchmark failed: {error}")
    print()
    print_table(rows)
    print(f"\nload average afterwards: {load_average()}")
    return 1 if any(row.missed() for row in rows) else 0


if __name__ == "__main__":
    sys.exit(main())
