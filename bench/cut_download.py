"""Benchmark of a download that the network cuts three times, at 25 %, 50 %
and 75 % of a 200 MB archive: the bootstrapper, which resumes where each cut
left it, against the same download uncut, and against curl retrying on the
same cuts. Bytes sent and time, every run cold."""
import os
import tempfile

from download_route import reference_run
from measure import Figure, Row, cold_start, interleave
from served_agent import ServedAgent

ARCHIVE_BYTES = 200 * 1000 * 1000
CUTS = (0.25, 0.50, 0.75)
PAIRS, QUICK_PAIRS = 3, 1

# curl's --retry alone does not retry a transfer cut short (curl 7.88 ends
# with status 18), so the reference also needs --retry-all-errors.
REFERENCE = ('url=$1 dir=$2 bundle=$3; shift 3; '
             'curl --retry 4 --retry-all-errors -C - -sS '
             '-o "$dir/InstallAgent.zip" "$url" 2>/dev/null && '
             'unzip -qq -o "$dir/InstallAgent.zip" -d "$dir/agent" && '
             'sh "$dir/agent/install" -installbundle "$bundle" "$@"')


class Traffic:
    """What the test server did during one run: body bytes sent, and the
    seconds between one request's end and the next one's start (the pauses
    before retries, with the reconnection)."""

    def __init__(self, server):
        self.server = server
        self.before = server.stats()

    def settle(self):
        after = self.server.stats()
        starts = after["request_times"][len(self.before["request_times"]):]
        ends = after["request_ends"][len(self.before["request_ends"]):]
        self.body_bytes = after["body_bytes"] - self.before["body_bytes"]
        self.requests = len(starts)
        self.pauses = sum(start - end for end, start in zip(ends, starts[1:]))
        return self


def cut_download(repetitions):
    pairs = QUICK_PAIRS if repetitions < 21 else PAIRS
    with ServedAgent(ARCHIVE_BYTES) as served:
        bundle, server = served.bundle, served.server
        size = os.path.getsize(served.archive)
        faults = [{"cut_at": int(size * cut)} for cut in CUTS]
        directory = os.path.join(bundle.tmpdir, "reference")
        print(f"cut download: {size / 1e6:.0f} MB archive cut at "
              f"{', '.join(f'{cut:.0%}' for cut in CUTS)}, {pairs} runs each")

        def measured(run, cut):
            cold_start(bundle.cache_dir(), directory)
            server.set_control(etag='"v1"', faults=faults if cut else [])
            traffic = Traffic(server)
            return run(), traffic.settle()

        def run_reference():
            os.mkdir(directory)
            return reference_run(served, REFERENCE, directory)

        # Three sides: the bootstrapper cut, uncut, and curl cut.
        uncut = []

        def run_bootstrapper():
            uncut.append(measured(served.run_bootstrapper, False))
            return measured(served.run_bootstrapper, True)

        ours, theirs = interleave(run_bootstrapper,
                                  lambda: measured(run_reference, True), pairs)
        uncut = uncut[1:]  # the warm-up's
        cold_start(directory)

    def over(pairs_run):
        # Time beyond the uncut download and the pauses, as a share of the
        # uncut download.
        return [100 * (cut.agent - traffic.pauses - plain.agent) / plain.agent
                for (cut, traffic), (plain, _) in zip(pairs_run, uncut)]

    def sent(runs):
        return [traffic.body_bytes / size for _, traffic in runs]

    return [Row("cut download, bootstrapper/curl --retry",
                [run.agent for run, _ in ours],
                [run.agent for run, _ in theirs]),
            Row("cut download, cut/uncut bootstrapper",
                [run.agent for run, _ in ours],
                [run.agent for run, _ in uncut]),
            Figure("cut download, sent/archive, bootstrapper", sent(ours),
                   "x", 1.02),
            Figure("cut download, sent/archive, curl", sent(theirs), "x"),
            Figure("cut download, pauses, bootstrapper",
                   [traffic.pauses for _, traffic in ours], "s"),
            Figure("cut download, pauses, curl",
                   [traffic.pauses for _, traffic in theirs], "s"),
            Figure("cut download, beyond uncut + pauses", over(ours), "%",
                   10.0)]
