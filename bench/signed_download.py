"""Benchmark of the signature check on the download route: the cold 200 MB
download of benchmark 2 from a bundle with a public key (the archive hashed
as it arrives, its .minisig fetched and verified before the unpacking)
against the same route from the same bundle without the key."""
import os
import shutil
import subprocess
import tempfile

from download_route import ARCHIVE_BYTES
from measure import BenchError, Row, cold_start, interleave
from served_agent import ServedAgent, large_download_pairs


def minisign(*args):
    subprocess.run(["minisign", *args], check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def signed_download(repetitions):
    pairs = large_download_pairs(repetitions)
    with ServedAgent(ARCHIVE_BYTES) as served, \
            tempfile.TemporaryDirectory(prefix="keys") as keys:
        public = os.path.join(keys, "vendor.pub")
        secret = os.path.join(keys, "vendor.key")
        minisign("-G", "-W", "-p", public, "-s", secret)
        minisign("-S", "-s", secret, "-m", served.archive)
        served.server.set_control(minisig=served.archive + ".minisig")
        key = os.path.join(served.bundle.resources, "InstallAgent.pub")
        print(f"signed download: {ARCHIVE_BYTES / 1e6:.0f} MB archive and "
              f"its signature, with the key and without, {pairs} runs each")

        def run(signed):
            cold_start(served.bundle.cache_dir(), key)
            if signed:
                shutil.copy(public, key)
            return served.run_bootstrapper(cold=False)

        ours, theirs = interleave(lambda: run(True), lambda: run(False),
                                  pairs)
        requests = served.server.stats()["minisig_requests"]
        if requests != pairs + 1:
            raise BenchError(f"{requests} signature requests for "
                             f"{pairs + 1} signed runs")
    return [Row("download route, with key/without",
                [r.agent for r in ours], [r.agent for r in theirs],
                target=1.03)]
