"""The agent cache against other users, leftovers and odd servers: a cache
that someone else placed or may change is never used, the stamp is never
written through a link, only an ETag vouches for an agent, what killed runs
left is cleaned, and a stamp too long for a header still revalidates."""
import os
import subprocess
import unittest

import bundle_fixture
from bundle_fixture import Bundle, make_zip, snapshot
from server_fixture import HttpsServer

NOBODY = 65534
RUN_TIMEOUT = 60

# Records, besides what the recording launcher does, which agent ran.
LAUNCHER = ("cat \"$(dirname \"$0\")/which\" >> \"$AGENT_RECORD.which\"\n" +
            bundle_fixture.RECORDING_LAUNCHER)


def make_agent(path, which):
    make_zip(path, {"install": LAUNCHER, "which": which + "\n"})


def requires_root(test):
    return unittest.skipUnless(os.geteuid() == 0, "needs root: chown")(test)


class CacheCase(unittest.TestCase):

    def setUp(self):
        self.bundle = Bundle()
        self.addCleanup(self.bundle.__exit__)
        self.archive = os.path.join(self.bundle.root, "served.zip")
        make_agent(self.archive, "served")
        self.server = HttpsServer(self.archive)
        self.addCleanup(self.server.stop)
        self.server.set_control(etag='"e1"')

    def run_bootstrapper(self, env=None, preexec_fn=None):
        return self.bundle.run(env=dict(self.server.environment(),
                                        **(env or {})),
                               timeout=RUN_TIMEOUT, preexec_fn=preexec_fn)

    def agents_run(self):
        """Which agents ran, in order; then forgets them."""
        try:
            with open(self.bundle.record + ".which") as f:
                return f.read().split()
        except FileNotFoundError:
            return []
        finally:
            self.bundle.forget_agent()

    def plant(self, which, stamp='"e1"'):
        """An agent in the cache, stamped with the server's ETag, as this
        program lays it out."""
        version = os.path.join(self.bundle.cache_dir(), "installagent.planted")
        os.makedirs(version, mode=0o700)
        with open(os.path.join(version, "install"), "w") as f:
            f.write(LAUNCHER)
        with open(os.path.join(version, "which"), "w") as f:
            f.write(which + "\n")
        os.symlink("installagent.planted",
                   os.path.join(self.bundle.cache_dir(), "installagent"))
        with open(os.path.join(self.bundle.cache_dir(), ".validatestring"),
                  "w") as f:
            f.write(stamp)

    def open_to(self, uid):
        """A preexec_fn that runs the bootstrapper as "uid", with the
        bundle, the server's CA, the working directory's place and the
        agent's record open to it."""
        for path in (self.bundle.root, self.server.directory):
            os.chmod(path, 0o755)
        for path in (self.bundle.home, self.bundle.tmpdir,
                     self.bundle.agent_log):
            os.chown(path, uid, uid)

        def demote():
            os.setgroups([])
            os.setgid(uid)
            os.setuid(uid)
        return demote

    def assert_installed_without_cache(self, result, reason):
        """Exit 0, one log line saying why, the served agent run from the
        working directory, which is gone afterwards."""
        self.assertEqual(
            (0, "Installing without the agent cache: %s\n" % reason),
            (result.returncode, result.stderr.decode()))
        launcher = self.bundle.agent_call()[0]
        self.assertTrue(launcher.startswith(self.bundle.tmpdir + "/qz"),
                        launcher)
        self.assertEqual(["served"], self.agents_run())
        self.assertEqual([], os.listdir(self.bundle.tmpdir))


class OwnershipTest(CacheCase):

    @requires_root
    def test_a_cache_another_user_owns_or_may_change_is_not_used(self):
        # Planted by another user; left by a run under sudo; made writable
        # for the group. The planted agent never runs and stays as it was.
        vorpex = os.path.join(self.bundle.home, ".vorpex")
        cache_parent = os.path.dirname(os.path.dirname(
            self.bundle.cache_dir()))
        self.plant("planted")
        cases = [("another user's", vorpex, NOBODY, None, None),
                 ("root's, run as a user", vorpex, 0, None, NOBODY),
                 ("group-writable", cache_parent, None, 0o775, None)]
        for name, top, owner, mode, runner in cases:
            with self.subTest(name):
                if owner is not None:
                    for parent, dirs, files in os.walk(vorpex):
                        for entry in [parent] + [os.path.join(parent, f)
                                                 for f in dirs + files]:
                            os.lchown(entry, owner, owner)
                if mode is not None:
                    os.chmod(top, mode)
                before = snapshot(vorpex)
                preexec_fn = self.open_to(runner) if runner else None
                if not runner:  # another user's TMPDIR would not be used
                    os.chown(self.bundle.tmpdir, 0, 0)
                result = self.run_bootstrapper(preexec_fn=preexec_fn)
                self.assert_installed_without_cache(
                    result, "%s is not a directory of this user's that only "
                    "the user may change." % top)
                self.assertEqual(before, snapshot(vorpex))
                if mode is not None:
                    os.chmod(top, 0o755)

    def test_a_stamp_that_is_a_link_is_replaced_not_written_through(self):
        victim = os.path.join(self.bundle.root, "victim")
        with open(victim, "w") as f:
            f.write("precious")
        os.makedirs(self.bundle.cache_dir())
        stamp = os.path.join(self.bundle.cache_dir(), ".validatestring")
        os.symlink(victim, stamp)
        result = self.run_bootstrapper()
        self.assertEqual((0, b""), (result.returncode, result.stderr))
        self.assertEqual(["served"], self.agents_run())
        with open(victim) as f:
            self.assertEqual("precious", f.read())
        self.assertFalse(os.path.islink(stamp))
        with open(stamp) as f:
            self.assertEqual('"e1"', f.read())

    @requires_root
    def test_without_home_the_accounts_home_holds_the_cache(self):
        # nobody's home in the password database cannot be made: the run
        # says so, and never falls back on a shared place such as /tmp.
        home = os.path.expanduser("~nobody")
        if os.path.exists(home):
            self.skipTest("nobody has a home here")
        for value in (None, ""):
            with self.subTest(home=value):
                preexec_fn = self.open_to(NOBODY)
                env = self.bundle.environment(self.server.environment())
                if value is None:
                    del env["HOME"]
                else:
                    env["HOME"] = value
                process = subprocess.Popen(
                    [self.bundle.executable], cwd=self.bundle.root, env=env,
                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                    stderr=subprocess.PIPE, start_new_session=True,
                    preexec_fn=preexec_fn)
                result = Bundle.finish(process, RUN_TIMEOUT)
                cache = os.path.join(home, bundle_fixture.CACHE_SUBPATH)
                self.assert_installed_without_cache(
                    result, "Could not create a directory in %s/: "
                    "Permission denied." % cache)


class StampTest(CacheCase):

    def test_an_agent_without_an_etag_is_never_vouched_for(self):
        # Run 1 caches the served agent under "e1"; run 2 installs another
        # from a file URL, which has no ETag; run 3, told "e1" again, must
        # not take run 2's agent for it.
        self.assertEqual(0, self.run_bootstrapper().returncode)
        other = os.path.join(self.bundle.root, "other.zip")
        make_agent(other, "other")
        result = self.run_bootstrapper(
            {"QZ_INTERNAL_INSTALL_AGENT_URL": "file://" + other})
        self.assertEqual((0, b""), (result.returncode, result.stderr))
        self.assertFalse(os.path.exists(
            os.path.join(self.bundle.cache_dir(), ".validatestring")))
        self.assertEqual(0, self.run_bootstrapper().returncode)
        self.assertEqual(["served", "other", "served"], self.agents_run())
        self.assertEqual({"200": 2}, self.server.stats()["statuses"])

    def test_a_stamp_too_long_for_a_header_still_revalidates(self):
        # A 90 kB ETag is kept and compared here, never sent back, so the
        # server is never asked with a header it refuses. The pause before
        # the body lets the client drop it before the socket takes it in.
        huge = '"%s"' % ("x" * 90_000)
        self.server.set_control(etag=huge, stall=0.5)
        make_zip(self.archive, {"install": LAUNCHER, "which": "served\n",
                                "padding": os.urandom(2_000_000)})
        for _ in range(2):
            result = self.run_bootstrapper()
            self.assertEqual((0, b""), (result.returncode, result.stderr))
        stats = self.server.stats()
        self.assertEqual({"200": 2}, stats["statuses"])
        self.assertLess(stats["body_bytes"], 3_000_000, "second body dropped")

        self.server.set_control(etag='"e2"')
        make_agent(self.archive, "new")
        self.assertEqual(0, self.run_bootstrapper().returncode)
        self.assertEqual(["served", "served", "new"], self.agents_run())
        self.assertEqual({"200": 3}, self.server.stats()["statuses"])


class LeftoverTest(CacheCase):

    def test_leftovers_go_and_a_misplaced_agent_is_replaced(self):
        # Copies from killed runs (one made unwritable inside) and a stamp
        # being written; in the agent's place a plain file, then a directory
        # as an older release left it, with a stamp that matches.
        cache = self.bundle.cache_dir()
        os.makedirs(os.path.join(cache, "installagent.Killed", "locked"))
        os.chmod(os.path.join(cache, "installagent.Killed", "locked"), 0o500)
        os.makedirs(os.path.join(cache, "installagent.Abcdef"))
        open(os.path.join(cache, ".validatestring.Xyzabc"), "w").close()
        for name, make in [("a plain file", lambda p: open(p, "w").close()),
                           ("an old directory", self.old_layout)]:
            with self.subTest(name):
                make(os.path.join(cache, "installagent"))
                result = self.run_bootstrapper()
                self.assertEqual((0, b""), (result.returncode, result.stderr))
                self.assertEqual(["served"], self.agents_run())
                self.assertEqual(
                    [".validatestring", "installagent", "installagent.*"],
                    self.bundle.cache_entries())
                os.remove(os.path.join(cache, "installagent"))

    def old_layout(self, path):
        os.mkdir(path, 0o700)
        with open(os.path.join(path, "install"), "w") as f:
            f.write(LAUNCHER)
        with open(os.path.join(path, "which"), "w") as f:
            f.write("old\n")


if __name__ == "__main__":
    bundle_fixture.main()
