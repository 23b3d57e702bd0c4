"""Benchmark of the signature check on the download route: the cold 200 MB
download of benchmark 2 from a bundle with a public key (the archive hashed
as it arrives, its .minisig fetched and verified before the unpacking)
against the same route from the same bundle without the key: on the test
server as fast as it sends and paced like a fast link, and, when it is
installed, on nginx."""
import os
import shutil
import subprocess
import tempfile

from download_route import ARCHIVE_BYTES
from measure import BenchError, Row, cold_start, interleave
from nginx_server import NginxServer
from served_agent import large_download_pairs, on_each_server

# A fast link's pace (800 Mbit/s): the network, not the CPU, sets the
# download's speed, as it does for users.
PACED_RATE = 100_000_000


def minisign(*args):
    subprocess.run(["minisign", *args], check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def serve_signature(served, signature):
    """Makes "served" answer <agent URL>.minisig with "signature"."""
    if isinstance(served.server, NginxServer):
        # nginx serves the folder its archive lies in.
        os.symlink(signature, os.path.join(served.server.directory, "www",
                                           "InstallAgent.zip.minisig"))
    else:
        served.server.set_control(minisig=signature)


def timed_signed_downloads(label, served, pairs, keys, rate=None):
    """The row of the signed runs against the unsigned ones on "served";
    with "rate", a test server sends the archive at that many bytes a
    second."""
    public = os.path.join(keys, "vendor.pub")
    minisign("-S", "-s", os.path.join(keys, "vendor.key"), "-m",
             served.archive)
    signature = served.archive + ".minisig"
    if rate:
        served.server.set_control(minisig=signature, rate=rate)
        label += f" at {rate / 1e6:.0f} MB/s"
    else:
        serve_signature(served, signature)
    key = os.path.join(served.bundle.resources, "InstallAgent.pub")
    print(f"signed download, {label}: {ARCHIVE_BYTES / 1e6:.0f} MB archive "
          f"and its signature, with the key and without, {pairs} runs each")

    def run(signed):
        cold_start(served.bundle.cache_dir(), key)
        if signed:
            shutil.copy(public, key)
        return served.run_bootstrapper(cold=False)

    before = served.server.stats()
    ours, theirs = interleave(lambda: run(True), lambda: run(False), pairs)
    after = served.server.stats()
    if "minisig_requests" in after:
        requests = after["minisig_requests"] - before["minisig_requests"]
    else:
        # nginx counts none apart: each run, a warm-up included, asks for
        # the archive once.
        requests = (after["requests"] - before["requests"] -
                    2 * (pairs + 1))
    if requests != pairs + 1:
        raise BenchError(f"{requests} signature requests for "
                         f"{pairs + 1} signed runs")
    return [Row(f"signed download, {label}, with key/without",
                [r.agent for r in ours], [r.agent for r in theirs],
                target=1.03)]


def unlimited_and_paced(label, served, pairs, keys):
    """Rows on "served" as fast as it sends and, on the test server, at
    PACED_RATE too."""
    rows = timed_signed_downloads(label, served, pairs, keys)
    if not isinstance(served.server, NginxServer):
        rows += timed_signed_downloads(label, served, pairs, keys,
                                       rate=PACED_RATE)
    return rows


def signed_download(repetitions):
    pairs = large_download_pairs(repetitions)
    with tempfile.TemporaryDirectory(prefix="keys") as keys:
        minisign("-G", "-W", "-p", os.path.join(keys, "vendor.pub"), "-s",
                 os.path.join(keys, "vendor.key"))
        return on_each_server(
            "signed download", ARCHIVE_BYTES,
            lambda label, served: unlimited_and_paced(label, served, pairs,
                                                      keys))
