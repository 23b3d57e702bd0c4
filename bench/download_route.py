"""Benchmark of the download route from an empty cache and without a
terminal: the bootstrapper fetching a 200 MB agent archive over HTTPS and
starting the agent, against curl fetching it into a fresh directory, the
same unzip, and starting the agent with the shell by hand."""
import shutil
import tempfile

from measure import Row, interleave, run_to_agent_signal
from served_agent import ARGUMENTS, ServedAgent, large_download_pairs

ARCHIVE_BYTES = 200 * 1000 * 1000

# What a user would type instead. curl takes the CA from SSL_CERT_FILE, as
# the bootstrapper does.
REFERENCE = ('url=$1 dir=$2 bundle=$3; shift 3; '
             'curl -sS -o "$dir/InstallAgent.zip" "$url" && '
             'unzip -qq -o "$dir/InstallAgent.zip" -d "$dir/agent" && '
             'sh "$dir/agent/install" -installbundle "$bundle" "$@"')


def download_route(repetitions):
    pairs = large_download_pairs(repetitions)
    with ServedAgent(ARCHIVE_BYTES) as served:
        bundle = served.bundle
        print(f"download route: {ARCHIVE_BYTES / 1e6:.0f} MB archive over "
              f"HTTPS from {served.server.url()}, {pairs} runs each")

        def run_reference():
            directory = tempfile.mkdtemp(prefix="qz", dir=bundle.tmpdir)
            try:
                return run_to_agent_signal(
                    ["sh", "-c", REFERENCE, "sh", served.server.url(),
                     directory, f"{bundle.resources}/bundle.zip",
                     *ARGUMENTS],
                    bundle.root, served.environment())
            finally:
                shutil.rmtree(directory, ignore_errors=True)

        ours, theirs = interleave(served.run_bootstrapper, run_reference,
                                  pairs)
    return [Row("download route, start to agent start",
                [run.agent for run in ours], [run.agent for run in theirs],
                target=1.05)]
