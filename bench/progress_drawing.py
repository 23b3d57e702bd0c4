"""Benchmark of the progress drawing: the download route of a 200 MB agent
archive with the terminal front end on a pseudo-terminal, against the same
run without a terminal."""
import statistics

from download_route import ARCHIVE_BYTES
from measure import Row, interleave
from served_agent import ServedAgent


def progress_drawing(repetitions):
    with ServedAgent(ARCHIVE_BYTES) as served:
        print(f"progress drawing: {ARCHIVE_BYTES / 1e6:.0f} MB archive, "
              f"terminal front end on a pseudo-terminal against headless")
        ours, theirs = interleave(
            lambda: served.run_bootstrapper(terminal=True),
            served.run_bootstrapper, repetitions)
    print(f"progress drawing: median {statistics.median(r.drawn for r in ours)}"
          f" bytes written to the terminal per run")
    return [Row("progress drawing, terminal/headless",
                [run.agent for run in ours], [run.agent for run in theirs],
                target=1.05)]
