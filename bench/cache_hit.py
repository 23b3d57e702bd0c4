"""Benchmark of a cache hit: the bootstrapper finding its cached agent
current and starting it, against one revalidating request with curl and the
same start of the cached agent by hand; and the body bytes the server sent
meanwhile. Against the test server and, when it is installed, Debian's
nginx."""
import os

from measure import BenchError, Figure, Row, interleave, run_to_agent_signal
from served_agent import ARGUMENTS, on_each_server

ARCHIVE_BYTES = 10 * 1000 * 1000
STAMP = ".validatestring"

REFERENCE = ('url=$1 etag=$2 agent=$3 bundle=$4; shift 4; '
             'curl -sS -o /dev/null -H "If-None-Match: $etag" "$url" && '
             'sh "$agent/install" -installbundle "$bundle" "$@"')


def settled_counts(server):
    stats = server.stats()
    return stats["body_bytes"], stats["statuses"].get("304", 0)


def hits(label, served, repetitions):
    """The rows of cache hits on "served", whose cache the first run fills."""
    bundle = served.bundle
    served.run_bootstrapper()
    with open(os.path.join(bundle.cache_dir(), STAMP)) as stamp:
        etag = stamp.read()
    sent = []  # body bytes per run of the bootstrapper

    def run_bootstrapper():
        before, _ = settled_counts(served.server)
        run = served.run_bootstrapper(cold=False)
        sent.append(settled_counts(served.server)[0] - before)
        return run

    def run_reference():
        _, before = settled_counts(served.server)
        run = run_to_agent_signal(
            ["sh", "-c", REFERENCE, "sh", served.server.url(), etag,
             bundle.agent_dir(),
             f"{bundle.resources}/bundle.zip", *ARGUMENTS],
            bundle.root, served.environment())
        if settled_counts(served.server)[1] != before + 1:
            raise BenchError(f"curl was not answered 304 by {label}")
        return run

    ours, theirs = interleave(run_bootstrapper, run_reference, repetitions)
    return [Row(f"cache hit, {label}", [run.agent for run in ours],
                [run.agent for run in theirs], target=1.5),
            Figure(f"cache hit, body sent, {label}",
                   [100 * n / os.path.getsize(served.archive) for n in sent],
                   "%", 1.0)]


def cache_hit(repetitions):
    print(f"cache hit: {ARCHIVE_BYTES / 1e6:.0f} MB archive")
    return on_each_server(
        "cache hit", ARCHIVE_BYTES,
        lambda label, served: hits(label, served, repetitions))
