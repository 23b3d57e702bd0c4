"""The bootstrapper in a bundle without a shipped agent: it downloads the agent
over HTTPS from a server on 127.0.0.1 into the cache below a temporary HOME,
revalidates the cache against the server's ETag, and starts the agent. Every
run has no terminal and is bounded in time, so a run that waits for a user
fails the test instead of hanging it."""
import os
import stat
import subprocess
import tempfile
import unittest
import zipfile

import bundle_fixture
from bundle_fixture import Bundle, make_agent_zip, make_zip, snapshot
from server_fixture import HttpsServer, make_ca

# Large enough that a body sent in vain is plain in the server's count.
PADDING = 3 * 1000 * 1000
# No run of these may take longer; each takes well under a second.
RUN_TIMEOUT = 30

ARGUMENTS = ["two words", "it's \"quoted\"", "$HOME", "", "-v"]


def archive_bytes(folder, make, *args, **kwargs):
    """The bytes of the archive that make(path, *args, **kwargs) writes."""
    with tempfile.TemporaryDirectory(dir=folder) as scratch:
        path = os.path.join(scratch, "archive.zip")
        make(path, *args, **kwargs)
        with open(path, "rb") as archive:
            return archive.read()


class DownloadRouteCase(unittest.TestCase):

    def setUp(self):
        self.bundle = Bundle()
        self.addCleanup(self.bundle.__exit__)
        self.archive = os.path.join(self.bundle.root, "served.zip")
        self.serve(self.agent_archive(seed=1))
        self.server = HttpsServer(self.archive)
        self.addCleanup(self.server.stop)

    def agent_archive(self, seed):
        """A recording agent padded to a few MB, as bytes."""
        return archive_bytes(self.bundle.root, make_agent_zip, padding=PADDING,
                             seed=seed)

    def serve(self, content):
        """Has the server send "content" from now on."""
        with open(self.archive + ".new", "wb") as f:
            f.write(content)
        os.replace(self.archive + ".new", self.archive)

    def run_bootstrapper(self, *args, env=None):
        """A run against the server; the agent's record starts empty."""
        self.bundle.forget_agent()
        return self.bundle.run(*args, env=dict(self.server.environment(),
                                               **(env or {})),
                               timeout=RUN_TIMEOUT)

    def stamp(self):
        """The stored stamp's bytes, or None."""
        try:
            with open(os.path.join(self.bundle.cache_dir(),
                                   ".validatestring"), "rb") as stamp:
                return stamp.read()
        except FileNotFoundError:
            return None

    def body_bytes(self):
        return self.server.stats()["body_bytes"]

    def assert_started(self, result, args=()):
        """The run printed nothing, exited with 0, and started the cached
        agent exactly once with the product archive and "args"."""
        self.assertEqual((0, b"", b""),
                         (result.returncode, result.stdout, result.stderr))
        self.assertEqual(
            [os.path.join(self.bundle.agent_dir(), "install"),
             "-installbundle",
             os.path.join(self.bundle.resources, "bundle.zip"), *args],
            self.bundle.agent_call())
        self.assertEqual(1, self.bundle.agent_starts())
        self.assertEqual([], os.listdir(self.bundle.tmpdir))

    def assert_failed(self, result, message):
        """The run exited with 255 after "message" and "Installation
        failed." on standard error, started nothing and left no working
        directory, so no partial archive either."""
        lines = result.stderr.decode().splitlines()
        self.assertEqual(255, result.returncode, lines)
        self.assertEqual(b"", result.stdout)
        self.assertEqual("Installation failed.", lines[-1])
        self.assertTrue(any(line.startswith(message) for line in lines[:-1]),
                        lines)
        self.assertEqual(0, self.bundle.agent_starts())
        self.assertEqual([], os.listdir(self.bundle.tmpdir))


class RevalidationTest(DownloadRouteCase):

    def test_download_then_cache_hit_then_new_version(self):
        # A first run downloads the archive, stores the ETag byte for byte
        # and starts the unpacked agent with the user's arguments intact.
        etag = 'W/"2d-5f3e;x=#!"'
        self.server.set_control(etag=etag)
        self.assert_started(self.run_bootstrapper(*ARGUMENTS), ARGUMENTS)
        self.assertEqual(etag.encode(), self.stamp())
        self.assertGreaterEqual(self.body_bytes(),
                                os.path.getsize(self.archive))
        self.assertEqual(
            0o700, stat.S_IMODE(os.stat(self.bundle.agent_dir()).st_mode))

        # The same ETag again: the cached agent starts as it is, not
        # unpacked again (a file changed in it and one put beside it stay),
        # and the body is dropped. The pause before the body keeps the
        # kernel's buffers from taking it in before the client has seen the
        # header.
        padding = os.path.join(self.bundle.agent_dir(), "padding")
        marker = os.path.join(self.bundle.agent_dir(), "marker")
        for path in (padding, marker):
            with open(path, "wb") as f:
                f.write(b"cached")
        self.server.set_control(etag=etag, stall=0.5)
        sent = self.body_bytes()
        self.assert_started(self.run_bootstrapper("again"), ["again"])
        self.assertLess(self.body_bytes() - sent, PADDING // 10)
        self.assertEqual(
            {"install", "padding", "marker", ".downloadedfrom"},
            set(os.listdir(self.bundle.agent_dir())))
        with open(padding, "rb") as f:
            self.assertEqual(b"cached", f.read())
        self.assertEqual(etag.encode(), self.stamp())

        # A new version under a new ETag replaces the stale agent whole.
        self.serve(self.agent_archive(seed=2))
        self.server.set_control(etag='"v2"')
        sent = self.body_bytes()
        self.assert_started(self.run_bootstrapper())
        self.assertGreaterEqual(self.body_bytes() - sent,
                                os.path.getsize(self.archive))
        self.assertFalse(os.path.exists(marker))
        self.assertEqual(b'"v2"', self.stamp())
        padding = os.path.join(self.bundle.agent_dir(), "padding")
        with open(padding, "rb") as unpacked, \
                zipfile.ZipFile(self.archive) as served:
            self.assertEqual(served.read("padding"), unpacked.read())

    def test_without_an_etag_nothing_is_stamped_or_trusted(self):
        for control in ({"etag": None}, {"etag": None, "no_length": True}):
            with self.subTest(control=control):
                self.server.set_control(**control)
                sent = self.body_bytes()
                self.assert_started(self.run_bootstrapper("x"), ["x"])
                self.assertIsNone(self.stamp())
                # Never vouched for, the agent is downloaded every time.
                self.assertGreaterEqual(self.body_bytes() - sent,
                                        os.path.getsize(self.archive))


class FailureTest(DownloadRouteCase):

    def test_failed_download_leaves_the_cache_as_it_was(self):
        self.server.set_control(etag='"v1"')
        self.assert_started(self.run_bootstrapper())
        open(os.path.join(self.bundle.agent_dir(), "marker"), "w").close()
        cache = snapshot(self.bundle.home)
        untrusted = make_ca(tempfile.mkdtemp(dir=self.bundle.root))

        # Each under a new ETag, so that only the new archive would do. The
        # transient ones fail after their two minutes of pauses, shortened
        # here.
        cases = [("not found", {"status": 404}, {}),
                 ("server error", {"status": 500}, {}),
                 # Every attempt cut: resumed, each falls short, and the
                 # attempts of two minutes do not add up to the archive.
                 ("cut body", {"cut_after": PADDING // 100}, {}),
                 ("cut at once", {"cut_after": 0}, {}),
                 ("untrusted certificate", {}, {"SSL_CERT_FILE": untrusted})]
        for name, control, env in cases:
            with self.subTest(name):
                self.server.set_control(etag='"v2"', **control)
                result = self.run_bootstrapper("x", env=dict(
                    env, __QZ_BOOTSTRAP_RETRY_WAIT_SCALE__="0.01"))
                self.assert_failed(result, "Download failed! Error - ")
                self.assertEqual(cache, snapshot(self.bundle.home))

    def test_broken_archive_leaves_no_launcher_and_is_fetched_again(self):
        with open(self.archive, "rb") as archive:
            good = archive.read()
        # The launcher comes out whole before the damaged file stops unzip.
        damaged = bytearray(good)
        middle = len(damaged) // 2
        damaged[middle:middle + 64] = bytes(~b & 0xff
                                            for b in damaged[middle:middle + 64])
        # The first into an empty cache, the second over a stale agent.
        os.makedirs(self.bundle.cache_dir())
        cases = [("not a zip", b"PK\3\4 no archive", '"v1"'),
                 ("damaged after the launcher", bytes(damaged), '"v2"')]
        for name, content, etag in cases:
            with self.subTest(name):
                cache = snapshot(self.bundle.home)
                self.serve(content)
                self.server.set_control(etag=etag)
                result = self.run_bootstrapper()
                self.assert_failed(result, "Failed to unzip the install agent")
                # Unpacked beside the cache's agent, none of it stays: no
                # launcher, no stamp, and a stale agent as it was.
                self.assertEqual(cache, snapshot(self.bundle.home))

                # Same ETag, good archive: no cached agent vouches for it, so
                # the archive is fetched and the agent starts.
                self.serve(good)
                sent = self.body_bytes()
                self.assert_started(self.run_bootstrapper())
                self.assertGreaterEqual(self.body_bytes() - sent, len(good))

    def test_archive_without_a_launcher_starts_nothing(self):
        self.serve(archive_bytes(self.bundle.root, make_zip,
                                 {"readme.txt": "no launcher here\n"}))
        self.server.set_control(etag='"v1"')
        result = self.run_bootstrapper()
        # The window's red text reaches standard error, where a run without
        # a terminal shows it.
        self.assertEqual((255, b"", b"The installer is incomplete.\n"
                          b"Installation failed.\n"),
                         (result.returncode, result.stdout, result.stderr))
        self.assertEqual(0, self.bundle.agent_starts())
        self.assertEqual([], os.listdir(self.bundle.tmpdir))


class DiskSpaceTest(DownloadRouteCase):
    """TMPDIR on an 8 MiB tmpfs, which keeps an eighth of it, 1 MiB, free;
    HOME on another file system."""

    def setUp(self):
        super().setUp()
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=8m",
                                  "tmpfs", self.bundle.tmpdir],
                                 capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: %r" % mounted.stderr)
        self.addCleanup(subprocess.run, ["umount", self.bundle.tmpdir],
                        check=True)
        # A real agent fits, and is cached.
        self.server.set_control(etag='"v1"')
        self.assert_started(self.run_bootstrapper())

    def assert_refused(self, control, reason):
        """A run against "control" under a new ETag fails for good, after
        one request, for "reason" (a pattern), and leaves the tmpfs empty
        and the cache as it was."""
        cache = snapshot(self.bundle.home)
        requests = self.server.stats()["requests"]
        self.server.set_control(etag='"v2"', **control)
        result = self.run_bootstrapper()
        self.assert_failed(result, "Download failed! Error - ")
        self.assertRegex(result.stderr.decode(), "Download failed! Error - " +
                         reason + r" https://\S+\nInstallation failed\.\n$")
        self.assertEqual(requests + 1, self.server.stats()["requests"])
        self.assertEqual(cache, snapshot(self.bundle.home))
        disk = os.statvfs(self.bundle.tmpdir)
        self.assertEqual(disk.f_blocks, disk.f_bfree)

    def test_a_length_the_disk_cannot_take_is_refused_before_the_body(self):
        self.assert_refused(
            {"content_length": 64 * 2**20},
            r"Not enough disk space in %s/qz\w{6}: the installer needs 65 MB, "
            r"[78] MB are free\." % self.bundle.tmpdir)
        self.assert_refused({"content_length": 10**15, "endless": True},
                            r"The installer is larger than 4096 MB\.")

    def test_an_endless_body_stops_before_the_disk_is_full(self):
        self.assert_refused(
            {"no_length": True, "endless": True},
            r"Not enough disk space in %s/qz\w{6}: only 0 MB are free after "
            r"7 MB of the installer arrived\." % self.bundle.tmpdir)


if __name__ == "__main__":
    bundle_fixture.main()
