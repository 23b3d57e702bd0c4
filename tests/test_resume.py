"""A download that a run did not complete is kept in the cache, and the next
run asks for the rest with Range and If-Range."""
import os
import signal
import subprocess
import unittest

import bundle_fixture
from bundle_fixture import PARTIAL, Bundle, make_agent_zip, wait_until
from server_fixture import HttpsServer
from test_retries import sha256

PADDING = 3 * 1000 * 1000
RATE = 2 * 1000 * 1000
RUN_TIMEOUT = 60


class ResumeAcrossRunsTest(unittest.TestCase):

    def setUp(self):
        self.bundle = Bundle()
        self.addCleanup(self.bundle.__exit__)
        self.archive = os.path.join(self.bundle.root, "served.zip")
        make_agent_zip(self.archive, padding=PADDING, seed=1)
        self.size = os.path.getsize(self.archive)
        self.server = HttpsServer(self.archive)
        self.addCleanup(self.server.stop)
        # The archive ends up beside the bundle, where it can be compared.
        self.env = dict(self.server.environment(),
                        __QZ_BOOTSTRAP_INSTALLER_UNITTEST__="")
        self.downloaded = os.path.join(self.bundle.folder, "InstallAgent.zip")
        self.partial = os.path.join(self.bundle.cache_dir(), PARTIAL)

    def kill_half_way(self, **control):
        """A run killed (SIGKILL) once half the archive is in the cache;
        returns how much of it is there."""
        self.server.set_control(etag='"v1"', rate=RATE, **control)
        process = self.bundle.start(env=self.env)
        wait_until(lambda: os.path.exists(self.partial) and
                   os.path.getsize(self.partial) >= self.size // 2)
        os.killpg(process.pid, signal.SIGKILL)
        Bundle.finish(process)
        self.server.set_control(etag='"v1"', **control)
        return os.path.getsize(self.partial)

    def assert_installed(self, result, archive):
        self.assertEqual((0, b""), (result.returncode, result.stderr))
        self.assertEqual(sha256(archive), sha256(self.downloaded))
        self.assertIsNotNone(self.bundle.wait_for_agent())
        self.assertFalse(os.path.exists(self.partial))

    def test_a_killed_run_is_resumed_by_the_next(self):
        kept = self.kill_half_way()
        self.assertLess(kept, self.size)
        sent = self.server.stats()["body_bytes"]
        result = self.bundle.run(env=self.env, timeout=RUN_TIMEOUT)
        self.assert_installed(result, self.archive)
        stats = self.server.stats()
        self.assertEqual("bytes=%d-" % kept, stats["ranges"][-1])
        self.assertEqual(self.size - kept, stats["body_bytes"] - sent)

    def test_an_encoded_body_is_not_resumed(self):
        # The file holds it decoded: its length is no offset into what the
        # server sent.
        self.kill_half_way(content_encoding="gzip")
        result = self.bundle.run(env=self.env, timeout=RUN_TIMEOUT)
        self.assert_installed(result, self.archive)
        self.assertIsNone(self.server.stats()["ranges"][-1])

    def test_a_signed_bundle_hashes_the_kept_part(self):
        key = os.path.join(self.bundle.root, "vendor.key")
        for args in (["-G", "-W", "-p", os.path.join(self.bundle.resources,
                                                     "InstallAgent.pub")],
                     ["-S", "-m", self.archive]):
            subprocess.run(["minisign", *args, "-s", key], check=True,
                           stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL)
        kept = self.kill_half_way(minisig=self.archive + ".minisig")
        result = self.bundle.run(env=self.env, timeout=RUN_TIMEOUT)
        self.assert_installed(result, self.archive)
        self.assertIn("bytes=%d-" % kept, self.server.stats()["ranges"])

    def test_a_changed_archive_is_fetched_whole(self):
        self.kill_half_way()
        changed = os.path.join(self.bundle.root, "changed.zip")
        make_agent_zip(changed, padding=PADDING, seed=2)
        self.server.set_control(etag='"v2"', file=changed)
        sent = self.server.stats()["body_bytes"]
        result = self.bundle.run(env=self.env, timeout=RUN_TIMEOUT)
        self.assert_installed(result, changed)
        stats = self.server.stats()
        self.assertIsNotNone(stats["ranges"][-1])  # If-Range did not match
        self.assertEqual(os.path.getsize(changed),
                         stats["body_bytes"] - sent)

    def test_runs_at_once_do_not_share_the_partial(self):
        kept = self.kill_half_way()
        requests = self.server.stats()["requests"]
        env = self.server.environment()  # each in its working directory
        processes = [self.bundle.start(env=env) for _ in range(2)]
        results = [Bundle.finish(p, RUN_TIMEOUT) for p in processes]
        self.assertEqual([(0, b"")] * 2,
                         [(r.returncode, r.stderr) for r in results])
        self.assertEqual(2, self.bundle.agent_starts())
        ranges = self.server.stats()["ranges"][requests:]
        self.assertEqual(sorted(["bytes=%d-" % kept, None], key=str),
                         sorted(ranges, key=str))


if __name__ == "__main__":
    bundle_fixture.main()
