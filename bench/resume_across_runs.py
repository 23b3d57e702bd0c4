"""Benchmark of a download resumed by the next run: the first run of a
200 MB archive is killed (SIGKILL) once half of it is in the cache, and a
second run fetches the rest, against one uninterrupted run. On nginx, or on
the test server where nginx is missing, sending at BANDWIDTH, a fast home
line: on 127.0.0.1 unbounded, the unpacking that both runs do would hide
what resuming saves. Every run cold."""
import functools
import os
import signal
import time

import nginx_server
from bundle_fixture import PARTIAL, Bundle, wait_until
from measure import BenchError, Figure, cold_start
from served_agent import ServedAgent
from server_fixture import HttpsServer

ARCHIVE_BYTES = 200 * 1000 * 1000
BANDWIDTH = 25 * 1000 * 1000  # 200 Mbit/s
PAIRS, QUICK_PAIRS = 3, 1


def timed_run(bundle, env):
    """Seconds of one run to its end, which waits for its agent's output;
    it must exit 0. The agent's own complaints do not count: it is started
    without the descriptor the signalling launcher writes to."""
    started = time.perf_counter()
    result = bundle.run(env=env)
    if result.returncode != 0:
        raise BenchError(f"exit {result.returncode}: {result.stderr!r}")
    return time.perf_counter() - started


def resume_across_runs(repetitions):
    pairs = QUICK_PAIRS if repetitions < 21 else PAIRS
    on_nginx = nginx_server.installed()
    server = (functools.partial(nginx_server.NginxServer, bandwidth=BANDWIDTH)
              if on_nginx else HttpsServer)
    sent, times = [], []
    with ServedAgent(ARCHIVE_BYTES, server) as served:
        bundle = served.bundle
        size = os.path.getsize(served.archive)
        partial = os.path.join(bundle.cache_dir(), PARTIAL)
        if not on_nginx:
            served.server.set_control(rate=BANDWIDTH)
        print(f"resume across runs: {size / 1e6:.0f} MB archive at "
              f"{BANDWIDTH / 1e6:.0f} MB/s, killed at half way, {pairs} pairs")
        env = served.server.environment()
        for _ in range(pairs):
            cold_start(bundle.cache_dir())
            uninterrupted = timed_run(bundle, env)

            cold_start(bundle.cache_dir())
            before = served.server.stats()["body_bytes"]
            process = bundle.start(env=env)
            wait_until(lambda: os.path.exists(partial) and
                       os.path.getsize(partial) >= size // 2)
            os.killpg(process.pid, signal.SIGKILL)
            Bundle.finish(process)
            cold_start()
            resumed = timed_run(bundle, env)

            sent.append((served.server.stats()["body_bytes"] - before) / size)
            times.append(resumed / uninterrupted)
    return [Figure("resume across runs, sent/archive, both runs", sent, "x",
                   1.03),
            Figure("resume across runs, second/uninterrupted run", times, "x",
                   0.6)]
