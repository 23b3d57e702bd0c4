"""Benchmark of the download route from an empty cache and without a
terminal: the bootstrapper fetching a 200 MB agent archive over HTTPS and
starting the agent, against curl fetching it into a fresh directory, the
same unzip, and starting the agent with the shell by hand. Against the test
server and, when it is installed, Debian's nginx; every run starts cold."""
import os
import tempfile

from measure import Row, cold_start, interleave, run_to_agent_signal
from served_agent import ARGUMENTS, large_download_pairs, on_each_server

ARCHIVE_BYTES = 200 * 1000 * 1000

# What a user would type instead. curl takes the CA from SSL_CERT_FILE, as
# the bootstrapper does.
REFERENCE = ('url=$1 dir=$2 bundle=$3; shift 3; '
             'curl -sS -o "$dir/InstallAgent.zip" "$url" && '
             'unzip -qq -o "$dir/InstallAgent.zip" -d "$dir/agent" && '
             'sh "$dir/agent/install" -installbundle "$bundle" "$@"')


def reference_run(served, command, directory):
    """One run of the shell "command" with the URL, "directory", the
    product archive and the user's arguments."""
    bundle = served.bundle
    return run_to_agent_signal(
        ["sh", "-c", command, "sh", served.server.url(), directory,
         f"{bundle.resources}/bundle.zip", *ARGUMENTS],
        bundle.root, served.environment())


def timed_downloads(label, served, pairs):
    bundle = served.bundle
    directory = tempfile.mkdtemp(prefix="qz", dir=bundle.tmpdir)

    def run_bootstrapper():
        cold_start(bundle.cache_dir(), directory)
        return served.run_bootstrapper()

    def run_reference():
        cold_start(bundle.cache_dir(), directory)
        os.mkdir(directory)
        return reference_run(served, REFERENCE, directory)

    print(f"download route, {label}: {ARCHIVE_BYTES / 1e6:.0f} MB archive "
          f"over HTTPS from {served.server.url()}, {pairs} runs each")
    ours, theirs = interleave(run_bootstrapper, run_reference, pairs)
    cold_start(directory)
    return [Row(f"download route, {label}", [run.agent for run in ours],
                [run.agent for run in theirs], target=1.05)]


def download_route(repetitions):
    pairs = large_download_pairs(repetitions)
    return on_each_server(
        "download route", ARCHIVE_BYTES,
        lambda label, served: timed_downloads(label, served, pairs))
