"""A server that goes silent after its answer: 60 seconds without a byte end
the attempt, and the next attempt gets the archive. The wait is real, so
this test runs under `make test-long`."""
import os
import time
import unittest

import bundle_fixture
from bundle_fixture import Bundle, make_agent_zip
from server_fixture import HttpsServer

TIMEOUT = 60


class StallTest(unittest.TestCase):

    def test_a_minute_without_a_byte_ends_the_attempt(self):
        with Bundle() as bundle:
            archive = os.path.join(bundle.root, "served.zip")
            make_agent_zip(archive, padding=1_000_000)
            with HttpsServer(archive) as server:
                # Silent a little longer than the client waits, so that
                # the server's count settles soon after.
                server.set_control(etag='"v1"',
                                   faults=[{"stall": TIMEOUT + 5}])
                started = time.monotonic()
                result = bundle.run(env=server.environment(),
                                    timeout=TIMEOUT + 45)
                elapsed = time.monotonic() - started
                first, second = server.stats()["request_times"]

            self.assertEqual((0, b""), (result.returncode, result.stderr))
            self.assertEqual(1, bundle.agent_starts())
            self.assertGreaterEqual(second - first, TIMEOUT)
            self.assertLess(elapsed, TIMEOUT + 15)
            self.assertEqual([], os.listdir(bundle.tmpdir))


if __name__ == "__main__":
    bundle_fixture.main()
