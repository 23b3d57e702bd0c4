"""The bootstrapper under load and faults: runs of one user at once against
one cache, interrupted downloads, a full disk and a broken environment. Each
run is bounded in time, so a run that hangs fails the test instead."""
import json
import os
import re
import resource
import shutil
import signal
import subprocess
import unittest
import zipfile

import bundle_fixture
from bundle_fixture import (Bundle, make_agent_zip, make_zip, snapshot,
                            wait_until)
from server_fixture import HttpsServer

RUN_TIMEOUT = 60

# An agent of many files; unzip writes them in the archive's order, the
# launcher first and "last" last. Before it logs its start, the launcher
# counts the parts beside it: "<its last argument> complete", or "partial"
# and the count when it was started from a partly unpacked agent.
PARTS = 300
COUNTING_LAUNCHER = """\
dir=$(dirname "$0")
n=0
for part in "$dir"/part-*; do
  [ -f "$part" ] && n=$((n + 1))
done
for word; do last=$word; done
state="partial $n"
if [ "$n" -eq %d ] && [ -f "$dir/last" ]; then state=complete; fi
echo "$last $state" >> "$AGENT_LOG"
""" % PARTS

# An agent that watches its own files for about a second after it starts:
# it logs its last argument, which version it is, and "intact" when its
# launcher, version file and parts never changed meanwhile.
WATCHING_LAUNCHER = """\
dir=$(dirname "$0")
for word; do last=$word; done
sum() { cat "$0" "$dir/version" "$dir"/part-* 2>&1 | cksum; }
first=$(sum)
state=intact
i=0
while [ $i -lt 20 ]; do
  [ "$(sum)" = "$first" ] || state=changed
  sleep 0.05
  i=$((i + 1))
done
echo "$last $(cat "$dir/version") $state" >> "$AGENT_LOG"
"""

NOBODY = 65534


def cache_agent(bundle, archive, stamp):
    """The agent in "archive", stamped "stamp", as a run leaves it in the
    cache of "bundle"."""
    version = "installagent.stale0"
    os.makedirs(os.path.join(bundle.cache_dir(), version), mode=0o700)
    with zipfile.ZipFile(archive) as agent:
        agent.extractall(os.path.join(bundle.cache_dir(), version))
    os.symlink(version, os.path.join(bundle.cache_dir(), "installagent"))
    with open(os.path.join(bundle.cache_dir(), ".validatestring"), "w") as f:
        f.write(stamp)


def make_many_file_agent(path):
    files = {"install": COUNTING_LAUNCHER}
    for i in range(PARTS):
        files["part-%03d" % i] = ("part %d\n" % i) * 100
    files["last"] = "last\n"
    make_zip(path, files)


def requests_started(server):
    """How many requests the server has started, finished or not."""
    with open(os.path.join(server.directory, "stats.json")) as stats:
        return json.load(stats)["requests"]


class ReliabilityCase(unittest.TestCase):

    def setUp(self):
        self.bundle = Bundle()
        self.addCleanup(self.bundle.__exit__)
        self.archive = os.path.join(self.bundle.root, "served.zip")
        make_agent_zip(self.archive, padding=2_000_000)
        self.server = HttpsServer(self.archive)
        self.addCleanup(self.server.stop)

    def env(self, **more):
        return dict(self.server.environment(), **more)

    def cache_agent(self, stamp):
        """A complete stale agent in the cache, as an earlier run left it."""
        cache_agent(self.bundle, self.archive, stamp)

    def assert_failed(self, result, *messages):
        """Exit status 255, "messages" (each the start of a line) in order,
        then "Installation failed." last; no agent, no working directory."""
        lines = result.stderr.decode(errors="replace").splitlines()
        self.assertEqual(255, result.returncode, lines)
        self.assertEqual("Installation failed.", lines[-1], lines)
        found = [line for line in lines[:-1]
                 if any(line.startswith(m) for m in messages)]
        self.assertEqual(len(messages), len(found), lines)
        for message, line in zip(messages, found):
            self.assertTrue(line.startswith(message), lines)
        self.assertEqual(0, self.bundle.agent_starts())
        self.assertEqual([], os.listdir(self.bundle.tmpdir))


class ConcurrencyTest(ReliabilityCase):
    """Eight runs of one user at once against one cache."""

    RUNS = 8

    def setUp(self):
        super().setUp()
        make_many_file_agent(self.archive)
        self.log = os.path.join(self.bundle.root, "agent-log")

    def start(self, index):
        return self.bundle.start("run%d" % index,
                                 env=self.env(AGENT_LOG=self.log))

    def assert_each_started_a_complete_agent_once(self, results):
        with open(self.log) as log:
            starts = [line.split(" ", 1) for line in log.read().splitlines()]
        self.assertEqual([], [s for s in starts if s[1] != "complete"])
        for index, result in enumerate(results):
            run = "run%d" % index
            started = [s for s in starts if s[0] == run]
            if result.returncode == 0:
                self.assertEqual((b"", 1), (result.stderr, len(started)), run)
            else:
                # Allowed, though nothing here gives a run cause to fail.
                self.assertEqual(255, result.returncode, result.stderr)
                self.assertTrue(result.stderr.endswith(
                    b"Installation failed.\n"), result.stderr)
                self.assertEqual([], started, run)
        self.assertEqual(self.RUNS,
                         sum(r.returncode == 0 for r in results),
                         [r.stderr for r in results])

    def assert_cache_holds_one_complete_agent(self, etag):
        cache = self.bundle.cache_dir()
        self.assertEqual([".validatestring", "installagent", "installagent.*"],
                         self.bundle.cache_entries())
        with open(os.path.join(cache, ".validatestring")) as stamp:
            self.assertEqual(etag, stamp.read())
        with zipfile.ZipFile(self.archive) as archive:
            expected = {name: archive.read(name)
                        for name in archive.namelist()}
        self.assertEqual(expected, snapshot(self.bundle.agent_dir()))
        self.assertEqual([], os.listdir(self.bundle.tmpdir))

    def test_runs_at_once_into_an_empty_cache(self):
        self.server.set_control(etag='"v1"')
        processes = [self.start(i) for i in range(self.RUNS)]
        results = [Bundle.finish(p, RUN_TIMEOUT) for p in processes]
        self.assert_each_started_a_complete_agent_once(results)
        self.assert_cache_holds_one_complete_agent('"v1"')

    def test_runs_at_once_from_two_servers_keep_their_own_agents(self):
        # Runs alternate between two servers of two agent versions: each
        # one that exits 0 started its own version, whose files stay as
        # they were while it runs, whatever the others install meanwhile.
        other_archive = os.path.join(self.bundle.root, "other.zip")
        servers = [self.server, HttpsServer(other_archive)]
        self.addCleanup(servers[1].stop)
        for archive, version in ((self.archive, "a"), (other_archive, "b")):
            files = {"install": WATCHING_LAUNCHER, "version": version}
            files.update(("part-%02d" % i, version * 1000) for i in range(50))
            make_zip(archive, files)
        servers[0].set_control(etag='"a"')
        servers[1].set_control(etag='"b"')
        processes = [self.bundle.start(
            "run%d" % i, env=dict(servers[i % 2].environment(),
                                  AGENT_LOG=self.log))
            for i in range(self.RUNS)]
        results = [Bundle.finish(p, RUN_TIMEOUT) for p in processes]
        self.assertEqual([(0, b"")] * self.RUNS,
                         [(r.returncode, r.stderr) for r in results])
        with open(self.log) as log:
            logged = sorted(log.read().splitlines())
        self.assertEqual(sorted("run%d %s intact" % (i, "ab"[i % 2])
                                for i in range(self.RUNS)), logged)

    def test_runs_at_once_while_the_etag_changes(self):
        # Half the runs are answered "v1", the other half, started once the
        # first half has its answers, "v2". Each answer pauses before its
        # body, the later ones longer, so that the "v1" agents have started
        # by the time the "v2" archives arrive and replace them.
        half = self.RUNS // 2
        self.server.set_control(etag='"v1"', stall=1.0)
        processes = [self.start(i) for i in range(half)]
        wait_until(lambda: requests_started(self.server) >= half)
        self.server.set_control(etag='"v2"', stall=2.5)
        processes += [self.start(i) for i in range(half, self.RUNS)]
        results = [Bundle.finish(p, RUN_TIMEOUT) for p in processes]
        self.assert_each_started_a_complete_agent_once(results)
        self.assert_cache_holds_one_complete_agent('"v2"')


class InterruptionTest(ReliabilityCase):

    def test_a_signal_during_the_download_ends_the_run_cleanly(self):
        # A stale agent is cached; the server sends its answer, then stalls.
        # SIGINT or SIGTERM ends the run; the partial archive goes, with the
        # working directory or, under the unit-test variable, from beside
        # the bundle, and the stale agent stays.
        self.cache_agent('"v0"')
        cache = snapshot(self.bundle.home)
        self.server.set_control(etag='"v1"', stall=RUN_TIMEOUT)
        beside = os.path.join(self.bundle.folder, "InstallAgent.zip")
        for signo in (signal.SIGINT, signal.SIGTERM):
            for unit_test in (False, True):
                with self.subTest(signal=signo, beside_the_bundle=unit_test):
                    env = self.env()
                    if unit_test:
                        env["__QZ_BOOTSTRAP_INSTALLER_UNITTEST__"] = ""
                    process = self.bundle.start(env=env)

                    wait_until(self.bundle.downloading)
                    process.send_signal(signo)
                    result = Bundle.finish(process, timeout=10)
                    self.assertEqual((255, b"Installation failed.\n"),
                                     (result.returncode, result.stderr))
                    self.assertFalse(os.path.exists(beside))
                    self.assertEqual([], os.listdir(self.bundle.tmpdir))
                    self.assertEqual(cache, snapshot(self.bundle.home))
                    self.assertEqual(0, self.bundle.agent_starts())


def file_size_limit(size):
    """A preexec_fn that limits the size of every file the run writes."""
    def limit():
        resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
    return limit


class FullDiskTest(ReliabilityCase):

    def test_a_write_error_fails_cleanly_and_leaves_nothing(self):
        self.cache_agent('"v0"')
        cache = snapshot(self.bundle.home)
        # The archive is 2 MB: writing it fails half way.
        result = self.bundle.run(env=self.env(), timeout=RUN_TIMEOUT,
                                 preexec_fn=file_size_limit(1_000_000))
        self.assert_failed(result, "Download failed! Error - Could not write ")
        self.assertIn(b": File too large. ", result.stderr)
        self.assertEqual(cache, snapshot(self.bundle.home))

        # A small archive of a large file: unpacking it fails.
        make_zip(self.archive, {"install": "exit 0\n",
                                "large": bytes(4_000_000)})
        result = self.bundle.run(env=self.env(), timeout=RUN_TIMEOUT,
                                 preexec_fn=file_size_limit(1_000_000))
        self.assert_failed(result, "Failed to unzip the install agent")
        self.assertEqual(cache, snapshot(self.bundle.home))

        # The same archive shipped in the bundle.
        os.replace(self.archive,
                   os.path.join(self.bundle.resources, "InstallAgent.zip"))
        result = self.bundle.run(timeout=RUN_TIMEOUT,
                                 preexec_fn=file_size_limit(1_000_000))
        self.assert_failed(result, "Failed to unzip the install agent",
                           "Failed to initialize the install agent.")
        self.assertEqual(cache, snapshot(self.bundle.home))


class UnfitCacheTest(ReliabilityCase):
    """A cache whose file system cannot take the agent: the run installs
    from the working directory instead, saying why, and the cache stays as
    it was."""

    def mount_home(self, *commands):
        """Mounts a file system on HOME with the first of "commands" that
        works; skips the test when none does."""
        for command in commands:
            if subprocess.run(command + [self.bundle.home],
                              stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0:
                self.addCleanup(subprocess.run, ["umount", self.bundle.home])
                return
        self.skipTest("cannot mount %s here" % " or ".join(
            c[0] for c in commands))

    def assert_installed_without_cache(self, result, reason):
        lines = result.stderr.decode(errors="replace").splitlines()
        self.assertEqual(0, result.returncode, lines)
        self.assertRegex(lines[-1], "^Installing without the agent cache: " +
                         reason + "$")
        self.assertNotIn(b"Failed to unzip", result.stderr)
        launcher = self.bundle.agent_call()[0]
        self.assertTrue(launcher.startswith(self.bundle.tmpdir + "/qz"),
                        launcher)
        self.assertEqual([], os.listdir(self.bundle.tmpdir))

    def test_a_full_cache(self):
        # The first agent fits; the next one's unpack fills the disk.
        self.mount_home(["mount", "-t", "tmpfs", "-o", "size=1m,mode=0755",
                         "tmpfs"])
        make_agent_zip(self.archive)
        self.server.set_control(etag='"small"')
        self.assertEqual(0, self.bundle.run(env=self.env()).returncode)
        cache = snapshot(self.bundle.home)
        make_agent_zip(self.archive, padding=2_000_000)
        self.server.set_control(etag='"large"')
        self.bundle.forget_agent()
        result = self.bundle.run(env=self.env(), timeout=RUN_TIMEOUT)
        self.assertIn(b"write error (disk full?)", result.stderr)
        self.assert_installed_without_cache(
            result, re.escape("Not enough disk space in %s/ for the agent." %
                              self.bundle.cache_dir()))
        self.assertEqual(cache, snapshot(self.bundle.home))

    def test_a_cache_without_symbolic_links(self):
        # FAT: through the kernel, else through FUSE.
        image = os.path.join(self.bundle.root, "fat.img")
        with open(image, "wb") as f:
            f.truncate(16 << 20)
        if shutil.which("mkfs.vfat") is None or subprocess.run(
                ["mkfs.vfat", image], stdout=subprocess.DEVNULL).returncode:
            self.skipTest("no mkfs.vfat")
        self.mount_home(["mount", "-o", "loop", image],
                        ["fusefat", "-o", "rw+", image])
        for _ in range(2):
            self.bundle.forget_agent()
            result = self.bundle.run(env=self.env(), timeout=RUN_TIMEOUT)
            cache = re.escape(self.bundle.cache_dir())
            self.assert_installed_without_cache(
                result, "Could not make %s/installagent point to "
                "%s/installagent\\.\\w{6}: .+\\." % (cache, cache))
        self.assertEqual([], self.bundle.cache_entries())


class BadEnvironmentTest(ReliabilityCase):

    def unprivileged(self):
        """A preexec_fn that has the run made by a user who cannot write
        everywhere: nobody when these tests run as root, with the bundle,
        the working directory's place and the server's CA opened to it;
        None for other users, who are unprivileged already."""
        if os.geteuid() != 0:
            return None
        os.chmod(self.bundle.root, 0o755)
        os.chmod(self.server.directory, 0o755)
        os.chown(self.bundle.tmpdir, NOBODY, NOBODY)
        os.chown(self.bundle.agent_log, NOBODY, NOBODY)

        def demote():
            os.setgroups([])
            os.setgid(NOBODY)
            os.setuid(NOBODY)
        return demote

    def run_bootstrapper(self, env=None, preexec_fn=None):
        return self.bundle.run(env=self.env(**(env or {})),
                               timeout=RUN_TIMEOUT, preexec_fn=preexec_fn)

    def test_a_home_where_no_cache_can_be_made_installs_without_it(self):
        locked = os.path.join(self.bundle.root, "locked")
        os.mkdir(locked, 0o555)
        a_file = os.path.join(self.bundle.root, "a-file")
        open(a_file, "w").close()
        demote = self.unprivileged()
        cases = [("unwritable", locked, demote, "Permission denied"),
                 ("missing", os.path.join(locked, "home"), demote,
                  "Permission denied"),
                 ("a file", a_file, None, "Not a directory")]
        for name, home, preexec_fn, reason in cases:
            with self.subTest(name):
                self.bundle.forget_agent()
                if preexec_fn:
                    os.chown(self.bundle.agent_log, NOBODY, NOBODY)
                else:  # another user's TMPDIR would not be used
                    os.chown(self.bundle.tmpdir, os.geteuid(), os.geteuid())
                result = self.run_bootstrapper({"HOME": home}, preexec_fn)
                cache = os.path.join(home, bundle_fixture.CACHE_SUBPATH)
                self.assertEqual(
                    (0, "Installing without the agent cache: Could not "
                     "create a directory in %s/: %s.\n" % (cache, reason)),
                    (result.returncode, result.stderr.decode()))
                launcher = self.bundle.agent_call()[0]
                self.assertTrue(launcher.startswith(self.bundle.tmpdir + "/qz"),
                                launcher)
                self.assertEqual(1, self.bundle.agent_starts())
                self.assertEqual([], os.listdir(self.bundle.tmpdir))
                self.assertEqual([], os.listdir(locked))

    def test_a_relative_home_is_not_the_home(self):
        # "-x" would be a cache in the current directory and a launcher path
        # sh reads as options; nobody's own home cannot take a cache.
        os.mkdir(os.path.join(self.bundle.root, "-x"))
        result = self.run_bootstrapper({"HOME": "-x"}, self.unprivileged())
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertTrue(result.stderr.startswith(
            b"Installing without the agent cache: Could not create a "
            b"directory in /nonexistent/"), result.stderr)
        self.assertTrue(self.bundle.agent_call()[0].startswith(
            self.bundle.tmpdir + "/qz"))
        self.assertEqual([], os.listdir(os.path.join(self.bundle.root, "-x")))

    def test_a_launcher_the_user_cannot_read_starts_nothing(self):
        # The shell would fail to open it, and its status goes unexamined.
        unreadable = zipfile.ZipInfo("install")
        unreadable.external_attr = 0o100000 << 16
        with zipfile.ZipFile(self.archive, "w") as archive:
            archive.writestr(unreadable, bundle_fixture.RECORDING_LAUNCHER)
        demote = self.unprivileged()
        os.chown(self.bundle.home, NOBODY, NOBODY)
        result = self.run_bootstrapper(preexec_fn=demote)
        self.assert_failed(result, "The installer is incomplete.")
        os.rename(self.archive,
                  os.path.join(self.bundle.resources, "InstallAgent.zip"))
        result = self.run_bootstrapper(preexec_fn=demote)
        self.assert_failed(result, "Failed to initialize the install agent.")
        self.assertEqual([], os.listdir(self.bundle.tmpdir))

    def test_a_missing_home_is_made(self):
        home = os.path.join(self.bundle.root, "new-home")
        result = self.run_bootstrapper({"HOME": home})
        self.assertEqual((0, b""), (result.returncode, result.stderr))
        self.assertEqual(1, self.bundle.agent_starts())
        self.assertTrue(os.path.isdir(os.path.join(
            home, bundle_fixture.CACHE_SUBPATH, "installagent")))

    def test_without_unzip(self):
        empty = os.path.join(self.bundle.root, "empty-bin")
        os.mkdir(empty)
        result = self.run_bootstrapper({"PATH": empty})
        self.assert_failed(result, "Failed to unzip the install agent")
        self.assertIn(b"unzip: not found", result.stderr)
        self.assertEqual([], self.bundle.cache_entries())

        self.bundle.ship_agent()
        result = self.run_bootstrapper({"PATH": empty})
        self.assert_failed(result, "Failed to unzip the install agent",
                           "Failed to initialize the install agent.")
        self.assertIn(b"unzip: not found", result.stderr)

    def test_a_url_that_does_not_parse(self):
        for url in ("ht tp://[::1", "https://", ""):
            with self.subTest(url=url):
                result = self.run_bootstrapper(
                    {"QZ_INTERNAL_INSTALL_AGENT_URL": url})
                self.assert_failed(result, "Download failed! Error - ")
                failure = result.stderr.decode().splitlines()[0]
                self.assertTrue(failure.endswith(" " + url), failure)


if __name__ == "__main__":
    bundle_fixture.main()
