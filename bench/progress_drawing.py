"""Benchmark of the progress drawing: the download route of a 200 MB agent
archive with the terminal front end on a pseudo-terminal, against the same
run without a terminal."""
import statistics

from download_route import ARCHIVE_BYTES
from measure import Row, interleave
from served_agent import ServedAgent, large_download_pairs


def progress_drawing(repetitions):
    pairs = large_download_pairs(repetitions)
    with ServedAgent(ARCHIVE_BYTES) as served:
        print(f"progress drawing: {ARCHIVE_BYTES / 1e6:.0f} MB archive, "
              f"terminal front end on a pseudo-terminal against headless, "
              f"{pairs} runs each")
        ours, theirs = interleave(
            lambda: served.run_bootstrapper(terminal=True),
            served.run_bootstrapper, pairs)
    drawn = statistics.median(run.drawn for run in ours)
    print(f"progress drawing: {drawn:.0f} bytes written to the terminal "
          f"per run (median)")
    return [Row("progress drawing, terminal/headless",
                [run.agent for run in ours], [run.agent for run in theirs],
                target=1.05)]
