"""tinyproxy on 127.0.0.1 for a test: its own configuration and log in a
temporary folder, a user name and password to ask for, and the ports it may
tunnel to.

    with Proxy(user="user", password="secret", connect_ports=[443]) as proxy:
        env = {"https_proxy": proxy.url("user", "wrong")}
        proxy.requests()
"""
import os
import shutil
import socket
import subprocess
import tempfile
import time

from server_fixture import end_process


class ProxyError(Exception):
    """The proxy did not start."""


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Proxy:
    """Asks for "user" and "password" (Basic) when given; tunnels only to
    "connect_ports" when given, else anywhere. Stops, and removes its
    folder, on stop() or when the with block ends."""

    def __init__(self, user=None, password=None, connect_ports=(),
                 start_timeout=10):
        self.directory = tempfile.mkdtemp(prefix="proxy")
        self.port = free_port()
        self.log = os.path.join(self.directory, "log")
        lines = ["Port %d" % self.port, "Listen 127.0.0.1", "Timeout 30",
                 "MaxClients 20", "LogLevel Connect", "LogFile \"%s\"" %
                 self.log, "PidFile \"%s\"" % os.path.join(self.directory,
                                                           "pid")]
        if user is not None:
            lines.append("BasicAuth %s %s" % (user, password))
        lines += ["ConnectPort %d" % port for port in connect_ports]
        config = os.path.join(self.directory, "tinyproxy.conf")
        with open(config, "w") as f:
            f.write("\n".join(lines) + "\n")
        self._process = subprocess.Popen(
            ["tinyproxy", "-d", "-c", config], stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self._await_port(start_timeout)
        except BaseException:
            self.stop()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def _await_port(self, timeout):
        give_up = time.monotonic() + timeout
        while time.monotonic() < give_up and self._process.poll() is None:
            try:
                socket.create_connection(("127.0.0.1", self.port), 1).close()
                return
            except OSError:
                time.sleep(0.02)
        raise ProxyError("tinyproxy did not start on port %d" % self.port)

    def url(self, user=None, password=None):
        credentials = "" if user is None else "%s:%s@" % (user, password)
        return "http://%s127.0.0.1:%d" % (credentials, self.port)

    def requests(self):
        """Requests the proxy has read, CONNECT included."""
        try:
            with open(self.log) as f:
                return sum("Request (file descriptor" in line for line in f)
        except FileNotFoundError:
            return 0

    def stop(self):
        end_process(self._process)
        shutil.rmtree(self.directory, ignore_errors=True)
