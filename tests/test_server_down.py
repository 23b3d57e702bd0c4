"""When the download server cannot be reached or fails: a cached agent the
bundle trusts starts at once, without waiting for the retries, and the
bundle's mirrors (InstallAgent.mirrors) are tried in order."""
import os
import re
import socket
import subprocess
import time
import unittest

import bundle_fixture
from bundle_fixture import Bundle, make_agent_zip
from server_fixture import HttpsServer

RUN_TIMEOUT = 60
# The two minutes of retries take a little over one second.
SHORT_PAUSES = {"__QZ_BOOTSTRAP_RETRY_WAIT_SCALE__": "0.01"}
OFFLINE = "Starting the cached installer offline! Error - "


def closed_port_url():
    """An https URL on 127.0.0.1 at a port nothing listens on."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    return "https://127.0.0.1:%d/InstallAgent.zip" % port


class ServerDownCase(unittest.TestCase):

    def setUp(self):
        self.bundle = Bundle()
        self.addCleanup(self.bundle.__exit__)
        self.archive = os.path.join(self.bundle.root, "served.zip")
        make_agent_zip(self.archive, padding=100 * 1000, seed=1)
        self.server = HttpsServer(self.archive)
        self.addCleanup(self.server.stop)

    def run_bootstrapper(self, url, **env):
        environment = dict(self.server.environment(), **env)
        if url is not None:
            environment["QZ_INTERNAL_INSTALL_AGENT_URL"] = url
        started = time.monotonic()
        result = self.bundle.run(env=environment, timeout=RUN_TIMEOUT)
        return result, time.monotonic() - started

    def fill_cache(self):
        result, _ = self.run_bootstrapper(None)
        self.assertEqual((0, b""), (result.returncode, result.stderr))
        self.bundle.wait_for_agent()
        self.bundle.forget_agent()


class OfflineStartTest(ServerDownCase):

    def test_a_trusted_cached_agent_starts_at_the_first_failure(self):
        self.fill_cache()
        for name, url in (("closed port", closed_port_url()),
                          ("unresolvable host",
                           "https://server.invalid/InstallAgent.zip")):
            with self.subTest(name):
                result, seconds = self.run_bootstrapper(url)
                lines = result.stderr.decode().splitlines()
                self.assertEqual(0, result.returncode, lines)
                self.assertEqual(1, len(lines), lines)
                self.assertTrue(lines[0].startswith(OFFLINE), lines)
                self.assertLess(seconds, 3)
                self.assertIsNotNone(self.bundle.wait_for_agent())
                self.bundle.forget_agent()

    def test_without_a_trusted_agent_the_retries_run_as_before(self):
        # Unsigned, the cache holds no agent verified with the key the
        # bundle gets now; signed to expire in a day, it holds one that is
        # stale two days on; empty, it holds none at all.
        self.fill_cache()
        key = os.path.join(self.bundle.root, "vendor.key")
        subprocess.run(["minisign", "-G", "-W", "-p",
                        os.path.join(self.bundle.resources, "InstallAgent.pub"),
                        "-s", key],
                       check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for name in ("keyless cache", "expired cache", "no cache"):
            with self.subTest(name):
                env = dict(SHORT_PAUSES)
                if name == "expired cache":
                    now = int(time.time())
                    signature = self.archive + ".minisig"
                    subprocess.run(
                        ["minisign", "-S", "-s", key, "-m", self.archive,
                         "-x", signature, "-t",
                         "timestamp:%d\texpires:%d\tfile:served.zip\thashed"
                         % (now, now + 86400)],
                        check=True, stdin=subprocess.DEVNULL,
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                    self.server.set_control(minisig=signature)
                    subprocess.run(["rm", "-rf", self.bundle.cache_dir()],
                                   check=True)
                    self.fill_cache()
                    env["__QZ_BOOTSTRAP_CLOCK_AHEAD__"] = str(2 * 86400)
                if name == "no cache":
                    os.remove(os.path.join(self.bundle.resources,
                                           "InstallAgent.pub"))
                    self.bundle.forget_agent()
                    subprocess.run(["rm", "-rf", self.bundle.cache_dir()],
                                   check=True)
                result, _ = self.run_bootstrapper(closed_port_url(), **env)
                lines = result.stderr.decode().splitlines()
                self.assertEqual(255, result.returncode, lines)
                self.assertTrue(lines[0].startswith("Download failed!"), lines)
                # Retried until the next pause would end past two minutes.
                attempts = re.search(r"\(after (\d+) attempts\)", lines[0])
                self.assertIsNotNone(attempts, lines)
                self.assertTrue(8 <= int(attempts.group(1)) <= 16, lines[0])
                self.assertEqual("Installation failed.", lines[-1])
                self.assertEqual(0, self.bundle.agent_starts())


class MirrorTest(ServerDownCase):

    def setUp(self):
        super().setUp()
        self.mirror = HttpsServer(self.archive)
        self.addCleanup(self.mirror.stop)
        # One file that trusts the CAs of both servers.
        self.ca_file = os.path.join(self.bundle.root, "both.pem")
        with open(self.ca_file, "w") as both:
            for server in (self.server, self.mirror):
                with open(server.ca_file) as ca:
                    both.write(ca.read())
        self.mirrors = os.path.join(self.bundle.resources,
                                    "InstallAgent.mirrors")

    def write_mirrors(self, *lines):
        with open(self.mirrors, "w") as f:
            f.write("".join(line + "\n" for line in lines))

    def test_the_mirror_serves_when_the_first_server_fails_for_good(self):
        self.write_mirrors(self.mirror.url())
        for name, url, control in (
                ("down", closed_port_url(), {}),
                ("503 for good", None, {"status": 503}),
                ("404", None, {"status": 404})):
            with self.subTest(name):
                subprocess.run(["rm", "-rf", self.bundle.cache_dir()],
                               check=True)
                self.server.set_control(**control)
                served = self.mirror.stats()["body_bytes"]
                result, _ = self.run_bootstrapper(
                    url, SSL_CERT_FILE=self.ca_file, **SHORT_PAUSES)
                lines = result.stderr.decode().splitlines()
                self.assertEqual(0, result.returncode, lines)
                self.assertEqual(1, len(lines), lines)
                self.assertTrue(lines[0].startswith("Download failed!"), lines)
                self.assertIsNotNone(self.bundle.wait_for_agent())
                self.bundle.forget_agent()
                self.assertEqual(os.path.getsize(self.archive),
                                 self.mirror.stats()["body_bytes"] - served)

    def test_a_line_that_is_no_https_url_fails_before_any_download(self):
        self.write_mirrors(self.mirror.url(), "http://127.0.0.1/agent.zip")
        result, _ = self.run_bootstrapper(None, SSL_CERT_FILE=self.ca_file)
        self.assertEqual(255, result.returncode)
        self.assertEqual(
            ["Cannot use the mirrors in %s: line 2 is not an https URL."
             % self.mirrors, "Installation failed."],
            result.stderr.decode().splitlines())
        self.assertEqual(0, self.server.stats()["requests"])
        self.assertEqual(0, self.mirror.stats()["requests"])


if __name__ == "__main__":
    bundle_fixture.main()
