"""Downloads over a flaky network: the server cuts, resets, is busy or
changes the archive between attempts, and the bootstrapper retries, resumes
where it can, and gives up when it must. Pauses are shortened through
__QZ_BOOTSTRAP_RETRY_WAIT_SCALE__ except where their length is the point
(Retry-After, Cancel during a pause)."""
import hashlib
import os
import pty
import select
import signal
import subprocess
import tempfile
import time
import unittest
import zipfile

import bundle_fixture
from bundle_fixture import Bundle, make_agent_zip
from server_fixture import HttpsServer, make_ca

PADDING = 3 * 1000 * 1000
CUT = 1000 * 1000
RUN_TIMEOUT = 60
SHORT_PAUSES = {"__QZ_BOOTSTRAP_RETRY_WAIT_SCALE__": "0.05"}


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class RetryCase(unittest.TestCase):

    def setUp(self):
        self.bundle = Bundle()
        self.addCleanup(self.bundle.__exit__)
        self.archive = os.path.join(self.bundle.root, "served.zip")
        make_agent_zip(self.archive, padding=PADDING, seed=1)
        self.server = HttpsServer(self.archive)
        self.addCleanup(self.server.stop)
        # The archive is downloaded beside the bundle and stays there.
        self.downloaded = os.path.join(self.bundle.folder, "InstallAgent.zip")

    def env(self, **more):
        return dict(self.server.environment(),
                    __QZ_BOOTSTRAP_INSTALLER_UNITTEST__="", **more)

    def run_bootstrapper(self, env):
        started = time.monotonic()
        result = self.bundle.run(env=env, timeout=RUN_TIMEOUT)
        return result, time.monotonic() - started

    def assert_installed(self, result, archive):
        """Exit 0, one agent start, and the downloaded archive is "archive"
        byte for byte."""
        self.assertEqual((0, b""), (result.returncode, result.stderr))
        self.assertEqual(1, self.bundle.agent_starts())
        self.assertEqual(sha256(archive), sha256(self.downloaded))

    def assert_failed(self, result):
        lines = result.stderr.decode().splitlines()
        self.assertEqual(255, result.returncode, lines)
        self.assertTrue(lines[0].startswith("Download failed! Error - "), lines)
        self.assertEqual("Installation failed.", lines[-1])
        self.assertEqual(0, self.bundle.agent_starts())
        self.assertFalse(os.path.exists(self.downloaded))
        return lines[0]


class ResumeTest(RetryCase):

    def test_cut_twice_then_served_resumes(self):
        self.server.set_control(etag='"v1"', faults=[{"cut_after": CUT}] * 2)
        result, _ = self.run_bootstrapper(self.env(**SHORT_PAUSES))
        self.assert_installed(result, self.archive)
        stats = self.server.stats()
        self.assertEqual([None, "bytes=%d-" % CUT, "bytes=%d-" % (2 * CUT)],
                         stats["ranges"])
        self.assertLessEqual(stats["body_bytes"],
                             os.path.getsize(self.archive) * 1.05)

    def test_a_body_without_length_cut_without_close_notify_resumes(self):
        # Without a length only the TLS close_notify tells the end from a
        # cut; the second request asks for the rest.
        self.server.set_control(etag='"v1"', close_delimited=True,
                                faults=[{"cut_after": CUT}])
        result, _ = self.run_bootstrapper(self.env(**SHORT_PAUSES))
        self.assert_installed(result, self.archive)
        self.assertEqual([None, "bytes=%d-" % CUT],
                         self.server.stats()["ranges"])

    def test_a_server_without_ranges_is_read_again_from_zero(self):
        self.server.set_control(etag='"v1"', ignore_ranges=True,
                                faults=[{"cut_after": CUT}])
        result, _ = self.run_bootstrapper(self.env(**SHORT_PAUSES))
        self.assert_installed(result, self.archive)
        self.assertEqual([None, None], self.server.stats()["ranges"])

    def test_a_changed_archive_starts_over_and_is_stamped(self):
        # The first answer, "v1", is cut; by the second the server has "v2",
        # so If-Range does not match and the whole new archive comes.
        new = os.path.join(self.bundle.root, "new.zip")
        make_agent_zip(new, padding=PADDING, seed=2)
        self.server.set_control(etag='"v2"', file=new,
                                faults=[{"cut_after": CUT, "etag": '"v1"',
                                         "file": self.archive}])
        result, _ = self.run_bootstrapper(self.env(**SHORT_PAUSES))
        self.assert_installed(result, new)
        self.assertEqual({"200": 2}, self.server.stats()["statuses"])
        with open(os.path.join(self.bundle.cache_dir(), ".validatestring"),
                  "rb") as stamp:
            self.assertEqual(b'"v2"', stamp.read())
        with zipfile.ZipFile(new) as served, open(os.path.join(
                self.bundle.agent_dir(), "padding"), "rb") as unpacked:
            self.assertEqual(served.read("padding"), unpacked.read())


class WaitTest(RetryCase):

    def test_retry_after_is_honoured(self):
        self.server.set_control(faults=[{"status": 503, "retry_after": "2"}])
        result, _ = self.run_bootstrapper(self.env())
        self.assert_installed(result, self.archive)
        first, second = self.server.stats()["request_times"]
        self.assertGreaterEqual(second - first, 2.0)

    def test_a_crowd_sent_away_together_comes_back_spread(self):
        # Six users' runs at once are each told to come back in 1 s; they
        # do, each after a second and its own share of the next one.
        runs = 6
        self.server.set_control(
            faults=[{"status": 429, "retry_after": "1"}] * runs)
        bundles = [Bundle() for _ in range(runs)]
        for bundle in bundles:
            self.addCleanup(bundle.__exit__)
        processes = [bundle.start(env=self.env()) for bundle in bundles]
        for process in processes:
            result = Bundle.finish(process, RUN_TIMEOUT)
            self.assertEqual(0, result.returncode, result.stderr)
        times = self.server.stats()["request_times"]
        first, retried = times[:runs], times[runs:]
        self.assertEqual(runs, len(retried))
        self.assertGreaterEqual(min(retried), min(first) + 1.0)
        # The answer and the handshake take a little of their own.
        self.assertLess(max(retried), max(first) + 2.5)
        self.assertGreater(max(retried) - min(retried),
                           max(first) - min(first) + 0.05)

    def test_final_failures_are_not_retried(self):
        untrusted = make_ca(tempfile.mkdtemp(dir=self.bundle.root))
        for name, control, env in [
                ("not found", {"status": 404}, {}),
                ("untrusted", {}, {"SSL_CERT_FILE": untrusted})]:
            with self.subTest(name):
                before = self.server.stats()
                self.server.set_control(**control)
                result, _ = self.run_bootstrapper(self.env(**env))
                self.assert_failed(result)
                # One connection; past the handshake, one request.
                after = self.server.stats()
                self.assertEqual(1, after["connections"] -
                                 before["connections"])
                self.assertEqual(1 if name == "not found" else 0,
                                 after["requests"] - before["requests"])

    def test_cuts_without_end_fail_after_about_two_minutes_of_pauses(self):
        # The pauses double from about 1 s to about 20 s, a half either way,
        # until the next would end past two minutes: 8 to 16 attempts.
        # Shortened twenty times here; the schedule stays the same.
        self.server.set_control(etag='"v1"', cut_after=CUT // 10)
        result, elapsed = self.run_bootstrapper(self.env(**SHORT_PAUSES))
        line = self.assert_failed(result)
        requests = self.server.stats()["requests"]
        self.assertIn("(after %d attempts)" % requests, line)
        self.assertTrue(8 <= requests <= 16, requests)
        self.assertTrue(line.endswith(" " + self.server.url()), line)
        # Given up once the next pause would end past the budget: the
        # pauses took 90 s at least.
        self.assertGreaterEqual(elapsed, 90 * 0.05 - 0.5)
        self.assertLess(elapsed, 120 * 0.05 + 10)


class CancelTest(RetryCase):

    def test_cancel_or_a_signal_during_a_pause_ends_the_run_at_once(self):
        for how in ("Return", "SIGTERM"):
            with self.subTest(how):
                requests = self.server.stats()["requests"]
                self.server.set_control(
                    faults=[{"status": 503, "retry_after": "30"}])
                self.cancel_during_pause(how)
                # No request follows, even after the pause would have ended.
                time.sleep(0.5)
                self.assertEqual(1, self.server.stats()["requests"] - requests)
                self.assertEqual(0, self.bundle.agent_starts())
                self.assertFalse(os.path.exists(self.downloaded))

    def cancel_during_pause(self, how):
        """Runs on a terminal until the window says it will retry, then
        presses Return or sends SIGTERM; the run must end with 255 at
        once."""
        main, child = pty.openpty()
        process = self.start_on_terminal(child)
        os.close(child)
        try:
            # The server's 30 s, and a spread of up to 1 s on top.
            shown = self.read_until(main, b"Retrying in 3")
            pressed = time.monotonic()
            if how == "Return":
                os.write(main, b"\n")
            else:
                process.send_signal(signal.SIGTERM)
            self.read_until(main, None)
            self.assertEqual(255, process.wait(timeout=5), shown)
            self.assertLess(time.monotonic() - pressed, 2.0)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            os.close(main)

    def start_on_terminal(self, terminal):
        return subprocess.Popen([self.bundle.executable], cwd=self.bundle.root,
                                env=self.bundle.environment(self.env()),
                                stdin=terminal, stdout=terminal,
                                stderr=terminal, start_new_session=True)

    @staticmethod
    def read_until(main, wanted, timeout=20):
        """What the terminal shows until "wanted" appears (None: until
        nobody holds the terminal)."""
        seen = b""
        give_up = time.monotonic() + timeout
        while wanted is None or wanted not in seen:
            left = give_up - time.monotonic()
            if left <= 0 or not select.select([main], [], [], left)[0]:
                raise AssertionError("the terminal showed %r" % seen[-400:])
            try:
                data = os.read(main, 65536)
            except OSError:  # EIO: the run has ended
                data = b""
            if not data:
                if wanted is None:
                    return seen
                raise AssertionError("ended after %r" % seen[-400:])
            seen += data
        return seen


if __name__ == "__main__":
    bundle_fixture.main()
