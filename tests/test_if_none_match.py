"""Revalidation of a cached agent with If-None-Match against the real HTTPS
server: a 304 starts the cached agent without any of the archive sent."""
import os
import unittest

import bundle_fixture
from bundle_fixture import Bundle, make_agent_zip
from server_fixture import HttpsServer

ARCHIVE_SIZE = 2_000_000


class IfNoneMatchTest(unittest.TestCase):

    def setUp(self):
        self.bundle = Bundle()
        self.addCleanup(self.bundle.__exit__)
        self.archive = os.path.join(self.bundle.root, "served.zip")
        make_agent_zip(self.archive, padding=ARCHIVE_SIZE)
        self.server = HttpsServer(self.archive)
        self.addCleanup(self.server.stop)

    def run_once(self, *args):
        """One run that must start the agent; the server's counters after."""
        self.bundle.forget_agent()
        result = self.bundle.run(*args, env=self.server.environment())
        self.assertEqual((0, b""), (result.returncode, result.stderr))
        words = self.bundle.wait_for_agent()
        self.assertEqual(os.path.join(self.bundle.agent_dir(), "install"),
                         os.fsdecode(words[0]))
        self.assertEqual(os.fsencode(args[-1]), words[-1])
        self.assertEqual(1, self.bundle.agent_starts())
        return self.server.stats()

    def stamp(self):
        with open(os.path.join(self.bundle.cache_dir(),
                               ".validatestring")) as f:
            return f.read()

    def reinstalled(self):
        """Whether the agent was installed anew since mark_agent()."""
        return not os.path.exists(os.path.join(self.bundle.agent_dir(),
                                               "marked"))

    def mark_agent(self):
        open(os.path.join(self.bundle.agent_dir(), "marked"), "w").close()

    def test_a_current_cached_agent_costs_no_body(self):
        self.server.set_control(etag='"v1"')
        first = self.run_once("first")
        self.assertGreater(first["body_bytes"], ARCHIVE_SIZE)
        self.mark_agent()

        # The stored stamp goes out as If-None-Match; the 304 sends nothing.
        second = self.run_once("second")
        self.assertEqual({"200": 1, "304": 1}, second["statuses"])
        self.assertEqual(first["body_bytes"], second["body_bytes"])
        self.assertFalse(self.reinstalled())

        # A server that ignores If-None-Match answers 200 with the same ETag:
        # the download is abandoned, and the cached agent starts as it is.
        self.server.set_control(etag='"v1"', if_none_match=False)
        third = self.run_once("third")
        self.assertEqual({"200": 2, "304": 1}, third["statuses"])
        self.assertFalse(self.reinstalled())

        # A new ETag brings the whole archive and a new stamp.
        self.server.set_control(etag='"v2"')
        fourth = self.run_once("fourth")
        self.assertEqual(3, fourth["statuses"]["200"])
        self.assertGreater(fourth["body_bytes"] - third["body_bytes"],
                           ARCHIVE_SIZE)
        self.assertTrue(self.reinstalled())
        self.assertEqual('"v2"', self.stamp())
        self.assertEqual([".validatestring", "installagent", "installagent.*"],
                         self.bundle.cache_entries())

    def test_a_stamp_a_server_refuses_never_locks_the_user_out(self):
        # A replayed answer with a bare CR in its ETag, before a server that
        # refuses every If-None-Match: no stamp is kept that would be sent.
        stamp = os.path.join(self.bundle.cache_dir(), ".validatestring")
        self.server.set_control(etag='"a\rb"', refuse_if_none_match=True)
        self.run_once("first")
        self.assertFalse(os.path.exists(stamp))

        # Such a stamp, stored by an older release, is compared, never sent.
        with open(stamp, "wb") as f:
            f.write(b'"a\rb"')
        self.mark_agent()
        self.assertEqual({"200": 2}, self.run_once("second")["statuses"])
        self.assertFalse(self.reinstalled())

        # A valid stamp that is refused: asked once more without it, and the
        # answer's ETag still vouches for the cached agent.
        self.server.set_control(etag='"v1"')
        self.run_once("third")
        self.mark_agent()
        self.server.set_control(etag='"v1"', refuse_if_none_match=True)
        self.assertEqual({"200": 4, "400": 1},
                         self.run_once("fourth")["statuses"])
        self.assertFalse(self.reinstalled())

        # Only once: a server that refuses everything fails the run.
        self.server.set_control(status=400)
        result = self.bundle.run(env=self.server.environment())
        self.assertEqual(255, result.returncode)
        self.assertEqual({"200": 4, "400": 3}, self.server.stats()["statuses"])
        self.assertEqual('"v1"', self.stamp())

    def test_a_304_for_no_cached_agent_fails(self):
        # Nothing was offered, so there is nothing for a 304 to stand for.
        self.server.set_control(status=304)
        result = self.bundle.run(env=self.server.environment())
        self.assertEqual(255, result.returncode)
        self.assertEqual(
            ["Download failed! Error - The server answered with HTTP status "
             "304, and no cached agent matches it. " + self.server.url(),
             "Installation failed."],
            result.stderr.decode().splitlines())
        self.assertEqual(0, self.bundle.agent_starts())
        self.assertEqual([], self.bundle.cache_entries())
        self.assertEqual([], os.listdir(self.bundle.tmpdir))


if __name__ == "__main__":
    bundle_fixture.main()
