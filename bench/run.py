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
from measure import BenchError, load_average, machine  # noqa: E402
from shipped_route import shipped_route  # noqa: E402

# Name to function: each takes the number of timed runs per side and returns
# its rows. The download benchmarks take their server from
# tests/https_server.py and their agents from measure.SIGNALLING_LAUNCHER.
BENCHMARKS = {
    "shipped": shipped_route,
}

REPETITIONS = 21
QUICK_REPETITIONS = 5


def milliseconds(samples):
    return f"{statistics.median(samples) * 1000:9.1f} ms"


def print_table(rows):
    print(f"{'benchmark':<36} {'bootstrapper':>12} {'reference':>12} "
          f"{'ratio':>6} {'medians':>7}  target")
    for row in rows:
        target = "-" if row.target is None else (
            f"<= {row.target:.2f} " + ("MISSED" if row.missed() else "met"))
        print(f"{row.name:<36} {milliseconds(row.bootstrapper)} "
              f"{milliseconds(row.reference)} {row.ratio():6.3f} "
              f"{row.ratio_of_medians():7.3f}  {target}")
    print("ratio: median of the ratios within each pair of runs, held "
          "against the target;\nmedians: ratio of the two medians")


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
    print(f"{repetitions} timed runs per side, interleaved, after one "
          f"warm-up each; medians")
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
