"""Launch day: 150 runs started at once, each as its own user (its own HOME),
against nginx shedding load with limit_req (20 requests/s, burst 10, 429
with Retry-After: 1); then the same crowd while the server is down for its
first 30 s. How many runs succeed, how many requests the server saw per
run, the longest run, and whether the retries come back as one wave: a
second in which the server sees more than 3 times its rate after it has sat
idle for a second."""
import collections
import os
import subprocess
import threading
import time

import nginx_server
from bundle_fixture import Bundle, make_agent_zip
from measure import Figure

RUNS = 150
RATE = 20
OUTAGE_SECONDS = 30
# Well past the retries' own bound; a run still going then has hung.
RUN_TIMEOUT = 300


class Crowd:
    """RUNS runs of "bundle" started at once, each with a HOME of its own,
    and when each ended."""

    def __init__(self, bundle, url, ca_file):
        self.ends = {}
        self._waiters = []
        for number in range(RUNS):
            home = os.path.join(bundle.root, f"home{number}")
            os.mkdir(home)
            environment = bundle.environment({
                "HOME": home, "QZ_INTERNAL_INSTALL_AGENT_URL": url,
                "SSL_CERT_FILE": ca_file,
                "QZ_INSTALLER_FRONT_END": "headless"})
            started = time.monotonic()
            process = subprocess.Popen(
                [bundle.executable], cwd=bundle.root, env=environment,
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL, start_new_session=True)
            waiter = threading.Thread(target=self._wait,
                                      args=(number, started, process))
            waiter.start()
            self._waiters.append(waiter)

    def _wait(self, number, started, process):
        try:
            status = process.wait(timeout=RUN_TIMEOUT)
        except subprocess.TimeoutExpired:
            process.kill()
            status = process.wait()
        self.ends[number] = (status, time.monotonic() - started)

    def finish(self):
        """(runs that exited with 0, the longest run's seconds)."""
        for waiter in self._waiters:
            waiter.join()
        results = self.ends.values()
        return (sum(1 for status, _ in results if status == 0),
                max(seconds for _, seconds in results))


def waves(request_times):
    """The requests per second, and the seconds in which the server saw more
    than 3 times its rate after a second without any request."""
    if not request_times:
        return [], 0
    first = min(request_times)
    per_second = collections.Counter(int(t - first) for t in request_times)
    seconds = [per_second.get(s, 0) for s in range(max(per_second) + 1)]
    bursts = sum(1 for s, count in enumerate(seconds)
                 if count > 3 * RATE and 0 in seconds[:s])
    return seconds, bursts


def crowd(label, outage):
    with Bundle() as bundle:
        archive = os.path.join(bundle.root, "served.zip")
        make_agent_zip(archive, launcher="exit 0\n", padding=64 * 1024)
        server = nginx_server.NginxServer(archive, rate=RATE)
        try:
            if outage:
                server.pause()
            runs = Crowd(bundle, server.url(), server.ca_file)
            if outage:
                time.sleep(OUTAGE_SECONDS)  # the outage itself is the wait
                server.resume()
            succeeded, longest = runs.finish()
            stats = server.stats()
        finally:
            server.stop()
    seconds, bursts = waves(stats["request_times"])
    print(f"{label}: {succeeded} of {RUNS} succeeded, {stats['requests']} "
          f"requests ({stats['statuses']}), longest run {longest:.1f} s")
    print(f"{label}: requests per second: {seconds}")
    return [
        Figure(f"fleet {label}: runs failed", [RUNS - succeeded], "runs", 0),
        Figure(f"fleet {label}: requests per run",
               [stats["requests"] / RUNS], "requests", 3.99),
        Figure(f"fleet {label}: longest run", [longest], "s"),
        Figure(f"fleet {label}: waves after an idle second", [bursts],
               "seconds", 0),
    ]


def fleet(_repetitions):
    """One crowd per case: the runs are the repetitions."""
    if not nginx_server.installed():
        print("fleet skipped: nginx not installed")
        return []
    return (crowd("limit_req", outage=False) +
            crowd(f"down {OUTAGE_SECONDS} s", outage=True))
