"""Benchmark of the signature check on the download route: the cold 200 MB
download of benchmark 2 from a bundle with a public key (the archive hashed
as it arrives, its .minisig fetched and verified before the unpacking)
against the same route from the same bundle without the key, on the test
server and, when it is installed, on nginx."""
import os
import shutil
import subprocess
import tempfile

from download_route import ARCHIVE_BYTES
from measure import BenchError, Row, cold_start, interleave
from nginx_server import NginxServer
from served_agent import large_download_pairs, on_each_server


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


def timed_signed_downloads(label, served, pairs, keys):
    public = os.path.join(keys, "vendor.pub")
    minisign("-S", "-s", os.path.join(keys, "vendor.key"), "-m",
             served.archive)
    serve_signature(served, served.archive + ".minisig")
    key = os.path.join(served.bundle.resources, "InstallAgent.pub")
    print(f"signed download, {label}: {ARCHIVE_BYTES / 1e6:.0f} MB archive "
          f"and its signature, with the key and without, {pairs} runs each")

    def run(signed):
        cold_start(served.bundle.cache_dir(), key)
        if signed:
            shutil.copy(public, key)
        return served.run_bootstrapper(cold=False)

    ours, theirs = interleave(lambda: run(True), lambda: run(False), pairs)
    # A signed run asks for the archive and its signature, an unsigned one
    # for the archive alone; a warm-up precedes each side.
    stats = served.server.stats()
    requests = stats.get("minisig_requests",
                         stats["requests"] - 2 * (pairs + 1))
    if requests != pairs + 1:
        raise BenchError(f"{requests} signature requests for "
                         f"{pairs + 1} signed runs")
    return [Row(f"signed download, {label}, with key/without",
                [r.agent for r in ours], [r.agent for r in theirs],
                target=1.03)]


def signed_download(repetitions):
    pairs = large_download_pairs(repetitions)
    with tempfile.TemporaryDirectory(prefix="keys") as keys:
        minisign("-G", "-W", "-p", os.path.join(keys, "vendor.pub"), "-s",
                 os.path.join(keys, "vendor.key"))
        return on_each_server(
            "signed download", ARCHIVE_BYTES,
            lambda label, served: timed_signed_downloads(label, served, pairs,
                                                         keys))
