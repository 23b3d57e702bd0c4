"""The desktop's proxy settings, as a program started from a file manager
meets them: no proxy variable, GNOME's settings pointing to a PAC file that
chooses a proxy. libproxy reads GNOME's settings when the session says it
is GNOME's; a keyfile below the run's HOME holds them, so no desktop has to
run. The proxy variables keep priority over the desktop's choice."""
import ctypes.util
import http.server
import os
import selectors
import socket
import socketserver
import threading
import unittest

import bundle_fixture
from bundle_fixture import Bundle, make_agent_zip
from server_fixture import HttpsServer

RUN_TIMEOUT = 30

# GNOME's proxy settings, as GSettings' keyfile backend keeps them. The
# default ignore list holds 127.0.0.0/8, where the test server is.
SETTINGS = """[system/proxy]
mode='auto'
autoconfig-url='http://127.0.0.1:%d/proxy.pac'
ignore-hosts=@as []
"""

PAC = 'function FindProxyForURL(url, host) { return "PROXY 127.0.0.1:%d"; }'


class ConnectProxy:
    """A proxy on 127.0.0.1 that tunnels CONNECT requests and records each
    one's target ("host:port")."""

    def __init__(self):
        self.targets = []
        proxy = self

        class Handler(socketserver.StreamRequestHandler):
            rbufsize = 0  # the tunnel's first bytes stay in the socket

            def handle(self):
                request = self.rfile.readline().decode("latin-1").split()
                while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                    pass
                if len(request) < 2 or request[0] != "CONNECT":
                    self.wfile.write(b"HTTP/1.1 405 Method Not Allowed\r\n\r\n")
                    return
                proxy.targets.append(request[1])
                host, port = request[1].rsplit(":", 1)
                with socket.create_connection((host, int(port)),
                                              timeout=10) as upstream:
                    self.wfile.write(b"HTTP/1.1 200 Connection established"
                                     b"\r\n\r\n")
                    relay(self.connection, upstream)

        self._server = socketserver.ThreadingTCPServer(("127.0.0.1", 0),
                                                       Handler)
        self._server.daemon_threads = True
        self.port = self._server.server_address[1]
        threading.Thread(target=self._server.serve_forever,
                         daemon=True).start()

    def url(self):
        return "http://127.0.0.1:%d" % self.port

    def stop(self):
        self._server.shutdown()
        self._server.server_close()


def relay(one, other):
    """Copies bytes both ways until either side closes."""
    peers = {one: other, other: one}
    with selectors.DefaultSelector() as selector:
        for sock in peers:
            selector.register(sock, selectors.EVENT_READ)
        while True:
            for key, _ in selector.select(timeout=30):
                data = key.fileobj.recv(65536)
                if not data:
                    return
                peers[key.fileobj].sendall(data)


class PacServer:
    """Serves "script" as /proxy.pac over plain HTTP on 127.0.0.1; with
    None, takes each request and never answers it."""

    def __init__(self, script):
        released = self._released = threading.Event()

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                if script is None:
                    released.wait()
                    return
                body = script.encode()
                self.send_response(200)
                self.send_header("Content-Type",
                                 "application/x-ns-proxy-autoconfig")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                                       Handler)
        self.port = self._server.server_address[1]
        threading.Thread(target=self._server.serve_forever,
                         daemon=True).start()

    def stop(self):
        self._released.set()
        self._server.shutdown()
        self._server.server_close()


@unittest.skipIf(ctypes.util.find_library("proxy") is None,
                 "libproxy is not installed (scripts/install-deps)")
class SystemProxyCase(unittest.TestCase):

    def setUp(self):
        self.bundle = Bundle()
        self.addCleanup(self.bundle.__exit__)
        archive = os.path.join(self.bundle.root, "served.zip")
        make_agent_zip(archive)
        self.server = HttpsServer(archive)
        self.addCleanup(self.server.stop)
        self.desktop_proxy = ConnectProxy()
        self.addCleanup(self.desktop_proxy.stop)
        self.use_pac_server(PacServer(PAC % self.desktop_proxy.port))

    def use_pac_server(self, pac):
        """Has the desktop's settings name "pac"'s PAC file."""
        self.addCleanup(pac.stop)
        settings = os.path.join(self.bundle.home, ".config", "glib-2.0",
                                "settings")
        os.makedirs(settings, exist_ok=True)
        with open(os.path.join(settings, "keyfile"), "w") as keyfile:
            keyfile.write(SETTINGS % pac.port)

    def run_bootstrapper(self, env=None):
        desktop = {"DESKTOP_SESSION": "gnome", "GSETTINGS_BACKEND": "keyfile"}
        return self.bundle.run(env=dict(self.server.environment(), **desktop,
                                        **(env or {})),
                               timeout=RUN_TIMEOUT)

    def test_the_desktop_settings_pac_file_chooses_the_proxy(self):
        result = self.run_bootstrapper()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIsNotNone(self.bundle.agent_words())
        self.assertIn("127.0.0.1:%d" % self.server.port,
                      self.desktop_proxy.targets, result.stderr)

    def test_a_pac_server_that_never_answers_leaves_the_download_direct(self):
        self.use_pac_server(PacServer(None))
        result = self.run_bootstrapper()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b"The desktop's proxy settings gave no answer within "
                      b"5 s: connecting without a proxy.\n", result.stderr)
        self.assertEqual(self.desktop_proxy.targets, [])

    def test_a_proxy_variable_wins_over_the_desktop(self):
        variable_proxy = ConnectProxy()
        self.addCleanup(variable_proxy.stop)
        result = self.run_bootstrapper({"https_proxy": variable_proxy.url()})
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("127.0.0.1:%d" % self.server.port,
                      variable_proxy.targets)
        self.assertEqual(self.desktop_proxy.targets, [])


if __name__ == "__main__":
    bundle_fixture.main()
