"""A server that goes silent after its answer: 60 seconds without a byte fail
the download. The wait is real, so this test runs under `make test-long`."""
import os
import time
import unittest

import bundle_fixture
from bundle_fixture import Bundle, make_agent_zip
from server_fixture import HttpsServer

TIMEOUT = 60


class StallTest(unittest.TestCase):

    def test_a_minute_without_a_byte_fails_the_download(self):
        with Bundle() as bundle:
            archive = os.path.join(bundle.root, "served.zip")
            make_agent_zip(archive, padding=1_000_000)
            with HttpsServer(archive) as server:
                server.set_control(etag='"v1"', stall=TIMEOUT + 60)
                started = time.monotonic()
                result = bundle.run(env=server.environment(),
                                    timeout=TIMEOUT + 45)
                elapsed = time.monotonic() - started

            lines = result.stderr.decode().splitlines()
            self.assertEqual(255, result.returncode, lines)
            self.assertEqual(2, len(lines), lines)
            self.assertTrue(lines[0].startswith("Download failed! Error - "))
            self.assertTrue(lines[0].endswith(" " + server.url()), lines)
            self.assertEqual("Installation failed.", lines[1])
            self.assertGreaterEqual(elapsed, TIMEOUT - 1)
            self.assertLess(elapsed, TIMEOUT + 15)
            self.assertEqual(0, bundle.agent_starts())
            self.assertEqual([], os.listdir(bundle.tmpdir))
            self.assertEqual([], bundle.cache_entries())


if __name__ == "__main__":
    bundle_fixture.main()
