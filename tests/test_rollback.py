"""Signed agents over time: the fields of the signed trusted comment
(timestamp, expires, agent), the cache's record of the release it accepted
last, the bundle's floor, and a bundle that carries two keys. Keys and
signatures are made by the real minisign tool, the current release by
scripts/sign-agent."""
import os
import shutil
import subprocess
import sys
import time

import bundle_fixture
from bundle_fixture import snapshot
from test_signatures import SignedCase, minisign

SIGN_AGENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                          "scripts", "sign-agent")
REFUSED = "Signature check failed! Error - "
OLDER = "The installer on the server is older than the one already installed."
DAY = 86400


def utc(timestamp):
    return time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(timestamp))


class RollbackTest(SignedCase):
    KEY_NAMES = ("vendor", "new")

    def setUp(self):
        super().setUp()
        self.key = os.path.join(self.bundle.resources, "InstallAgent.pub")
        self.use_keys("vendor")
        self.signature = self.archive + ".minisig"
        self.now = int(time.time())

    def use_keys(self, *names):
        """The bundle's InstallAgent.pub: these keys, one after another."""
        with open(self.key, "w") as bundle_keys:
            for name in names:
                with open(os.path.join(self.keys, name + ".pub")) as f:
                    bundle_keys.write(f.read())

    def release(self, seed, etag, *fields, key="vendor"):
        """Serves agent "seed" under "etag", signed by "key" with a trusted
        comment of "fields" (minisign's own file and hashed words after)."""
        self.serve(self.agent_archive(seed=seed))
        minisign("-S", "-s", os.path.join(self.keys, key + ".key"),
                 "-m", self.archive, "-x", self.signature,
                 "-t", "\t".join([*fields, "file:served.zip", "hashed"]))
        self.server.set_control(etag=etag, minisig=self.signature)

    def assert_refused(self, result, *texts):
        """The run failed with all of "texts" on standard error."""
        self.assert_failed(result, "")
        for text in texts:
            self.assertIn(text, result.stderr.decode())

    def test_an_archive_older_than_the_one_accepted_last_is_refused(self):
        # v2 signed now by the release command is accepted.
        self.serve(self.agent_archive(seed=2))
        subprocess.run([sys.executable, SIGN_AGENT, "-s",
                        os.path.join(self.keys, "vendor.key"), "--expires",
                        "30", self.archive], check=True,
                       stdout=subprocess.DEVNULL)
        with open(self.signature) as f:
            signed = int(f.read().split("timestamp:")[1].split("\t")[0])
        self.server.set_control(etag='"v2"', minisig=self.signature)
        self.assert_started(self.run_bootstrapper())
        cached = snapshot(self.bundle.cache_dir())

        cases = {  # name: (seed, fields, the reason logged)
            "older": (1, ["timestamp:%d" % (signed - 1000)],
                      "The installer on the server was signed at %s, before "
                      "the one already installed, signed at %s." % (
                          utc(signed - 1000), utc(signed))),
            "same time, another archive": (
                3, ["timestamp:%d" % signed],
                "signed at %s, as the one already installed was, but is "
                "another archive." % utc(signed)),
            "no signed time": (3, [], "has no signed time"),
        }
        for name, (seed, fields, reason) in cases.items():
            with self.subTest(name):
                self.release(seed, '"v%d-%s"' % (seed, name[:4]), *fields)
                self.assert_refused(self.run_bootstrapper(), reason, OLDER)
                self.assertEqual(cached, snapshot(self.bundle.cache_dir()))

        # A later one is installed over it.
        self.release(3, '"v3"', "timestamp:%d" % (signed + 1))
        self.assert_started(self.run_bootstrapper())
        self.assertNotEqual(cached, snapshot(self.bundle.cache_dir()))

    def test_what_the_signature_says_must_fit_this_run(self):
        cases = {  # name: (fields, the reason logged, or None: accepted)
            "expired": (["expires:%d" % (self.now - 3600)],
                        "The installer on the server expired at %s." %
                        utc(self.now - 3600)),
            "another platform": (["agent:V3318k/linux64"],
                                 "The installer on the server is for "
                                 "V3318k/linux64, not V3318k/osxi64."),
            "another release": (["agent:V3319a/osxi64"], "is for V3319a"),
            "a field twice": (["timestamp:1", "timestamp:2"],
                              "field \"timestamp\" is given twice"),
            "a time that does not parse": (["expires:tomorrow"],
                                           "\"expires\" does not parse"),
            # A clock a minute fast does not make it stale.
            "expired a minute ago": (["expires:%d" % (self.now - 60),
                                      "agent:V3318k/osxi64"], None),
        }
        for name, (fields, reason) in cases.items():
            with self.subTest(name):
                shutil.rmtree(self.bundle.cache_dir(), ignore_errors=True)
                self.release(1, '"v1"', "timestamp:%d" % self.now, *fields)
                result = self.run_bootstrapper()
                if reason is None:
                    self.assert_started(result)
                else:
                    self.assert_refused(result, REFUSED, reason)
                    self.assertFalse(os.path.exists(self.bundle.agent_dir()))

    def test_a_cache_hit_past_its_expiry_is_downloaded_again(self):
        self.release(1, '"v1"', "timestamp:%d" % self.now,
                     "expires:%d" % (self.now + DAY))
        self.assert_started(self.run_bootstrapper())
        self.assert_started(self.run_bootstrapper())
        self.assertEqual(1, self.server.stats()["statuses"].get("304"))
        cached = self.bundle.agent_dir()

        # Two days on, the cached agent is stale: its stamp is not offered
        # and the same archive, fetched again, is refused.
        later = {"__QZ_BOOTSTRAP_CLOCK_AHEAD__": str(2 * DAY)}
        requests = self.server.stats()["minisig_requests"]
        self.assert_refused(self.run_bootstrapper(env=later), REFUSED,
                            "expired at %s" % utc(self.now + DAY))
        self.assertEqual(1, self.server.stats()["statuses"].get("304"))
        self.assertEqual(requests + 1, self.server.stats()["minisig_requests"])
        self.assertEqual(cached, self.bundle.agent_dir())

        # A newer one on the server is taken.
        self.release(2, '"v2"', "timestamp:%d" % (self.now + 1),
                     "expires:%d" % (self.now + 10 * DAY))
        self.assert_started(self.run_bootstrapper(env=later))
        self.assertNotEqual(cached, self.bundle.agent_dir())

    def test_a_bundle_with_two_keys_keeps_the_record_across_them(self):
        self.use_keys("vendor", "new")
        self.release(1, '"v1"', "timestamp:%d" % (self.now - 100))
        self.assert_started(self.run_bootstrapper())
        self.release(2, '"v2"', "timestamp:%d" % self.now, key="new")
        self.assert_started(self.run_bootstrapper())
        self.assert_started(self.run_bootstrapper())
        self.assertEqual(1, self.server.stats()["statuses"].get("304"))
        cached = snapshot(self.bundle.cache_dir())

        # The old key signed one between them: older than the new key's.
        self.release(3, '"v3"', "timestamp:%d" % (self.now - 50))
        self.assert_refused(self.run_bootstrapper(), "The installer on the "
                            "server was signed at %s, before the one "
                            "already installed, signed at %s." % (
                                utc(self.now - 50), utc(self.now)), OLDER)
        self.assertEqual(cached, snapshot(self.bundle.cache_dir()))

        # Once the old key is dropped, the new key's agent is still current.
        self.use_keys("new")
        self.server.set_control(etag='"v2"', minisig=self.signature)
        self.assert_started(self.run_bootstrapper())
        self.assertEqual(2, self.server.stats()["statuses"].get("304"))

    def test_the_bundle_floor_holds_without_a_usable_cache(self):
        # A cache open to the group is not used: there is no record.
        vorpex = os.path.join(self.bundle.home, ".vorpex")
        os.makedirs(vorpex)
        os.chmod(vorpex, 0o775)
        with open(os.path.join(self.bundle.resources, "InstallAgent.floor"),
                  "w") as floor:
            floor.write("%d\n" % self.now)
        for name, fields in {"older": ["timestamp:%d" % (self.now - 1)],
                             "no signed time": []}.items():
            with self.subTest(name):
                self.release(1, '"v1"', *fields)
                self.assert_refused(
                    self.run_bootstrapper(), REFUSED, "The installer on the "
                    "server is older than this bundle allows: signed at %s, "
                    "the oldest allowed at %s." % (
                        utc(self.now - 1) if fields else "no time",
                        utc(self.now)))

        self.release(1, '"v1"', "timestamp:%d" % self.now)
        result = self.run_bootstrapper()
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertIn(b"Installing without the agent cache", result.stderr)
        self.assertEqual(1, self.bundle.agent_starts())


if __name__ == "__main__":
    bundle_fixture.main()
