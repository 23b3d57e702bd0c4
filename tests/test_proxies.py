"""Downloads through a proxy (tinyproxy, found through https_proxy) that
refuses them: a wrong password or a server it does not tunnel to is final at
once, with a message about the proxy, and the password is sent once."""
import os
import unittest

import bundle_fixture
from bundle_fixture import Bundle, make_agent_zip
from proxy_fixture import Proxy
from server_fixture import HttpsServer


class ProxyRefusalTest(unittest.TestCase):

    def setUp(self):
        self.bundle = Bundle()
        self.addCleanup(self.bundle.__exit__)
        archive = os.path.join(self.bundle.root, "served.zip")
        make_agent_zip(archive)
        self.server = HttpsServer(archive)
        self.addCleanup(self.server.stop)

    def test_a_refusing_proxy_is_asked_once(self):
        credentials = "The proxy refused the connection (HTTP %d): " \
            "check the proxy's user name and password."
        forbidden = "The proxy refused the connection (HTTP 403): " \
            "it does not let this computer reach the server."
        # tinyproxy answers a wrong password with 401, not 407.
        for name, ports, user, password, message in [
                ("no password", [], None, None, credentials % 407),
                ("wrong password", [], "user", "wrong", credentials % 401),
                ("another port", [1], "user", "secret", forbidden)]:
            with self.subTest(name), Proxy("user", "secret", ports) as proxy:
                env = dict(self.server.environment(),
                           https_proxy=proxy.url(user, password),
                           __QZ_BOOTSTRAP_INSTALLER_UNITTEST__="")
                result = self.bundle.run(env=env)
                lines = result.stderr.decode().splitlines()
                self.assertEqual(255, result.returncode, lines)
                self.assertEqual("Download failed! Error - %s %s" %
                                 (message, self.server.url()), lines[0])
                self.assertEqual(1, proxy.requests())
                self.assertEqual(0, self.server.stats()["connections"])


if __name__ == "__main__":
    bundle_fixture.main()
