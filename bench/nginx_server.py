"""Debian's nginx serving one file over TLS on 127.0.0.1, with the ETag and
the If-None-Match handling it gives static files by default. Its certificate
is made at start, as tests/https_server.py makes its own.

    with NginxServer(archive) as server:
        bundle.environment(server.environment())
        server.stats()["body_bytes"]
"""
import collections
import http.client
import os
import pwd
import socket
import subprocess
import tempfile
import time

from https_server import make_server_certificate
from measure import BenchError
from server_fixture import HttpsServer

NGINX = "/usr/sbin/nginx"

CONFIG = """
{user}
worker_processes 1;
daemon off;
pid {dir}/nginx.pid;
error_log {dir}/error.log;
events {{ worker_connections 1024; }}
http {{
    log_format body '$msec $status $body_bytes_sent';
    access_log {dir}/access.log body;
    {limit_zone}
    server {{
        listen 127.0.0.1:{port} ssl;
        ssl_certificate {dir}/server.pem;
        ssl_certificate_key {dir}/server.key;
        root {dir}/www;
        {limit}
    }}
    server {{
        listen 127.0.0.1:{status_port};
        access_log off;
        location / {{ stub_status; }}
    }}
}}
"""


def installed():
    return os.access(NGINX, os.X_OK)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class NginxServer(HttpsServer):
    """Serves "archive" as /InstallAgent.zip from a temporary folder, which
    holds its configuration, certificate and logs. Stands in for HttpsServer,
    whose url(), environment() and stopping it shares; it has no control,
    and its stats() come from nginx's own log."""

    # HttpsServer's own __init__ is not called: it starts the test server.
    # "rate" (requests per second, with a burst of half as many) sheds what
    # comes faster with 429 and Retry-After: 1, as a server does on launch
    # day.
    # "bandwidth" (bytes per second and connection) limits how fast a body
    # goes, as a user's line does.
    def __init__(self, archive, start_timeout=30, rate=None, bandwidth=None):
        self.directory = tempfile.mkdtemp(prefix="nginx")
        self.plain = False
        self.ca_file = os.path.join(self.directory, "ca.pem")
        self.port, self.status_port = free_port(), free_port()
        os.mkdir(os.path.join(self.directory, "www"))
        os.symlink(archive,
                   os.path.join(self.directory, "www", "InstallAgent.zip"))
        make_server_certificate(self.directory)
        # Started by root, the worker would otherwise drop to a user that may
        # not read our folders.
        user = (f"user {pwd.getpwuid(0).pw_name};" if os.geteuid() == 0
                else "")
        limit_zone = limit = ""
        if rate:
            limit_zone = (f"limit_req_zone $binary_remote_addr zone=crowd:1m "
                          f"rate={rate}r/s;")
            limit = (f"limit_req zone=crowd burst={rate // 2} nodelay; "
                     f"limit_req_status 429; "
                     f"add_header Retry-After 1 always;")
        if bandwidth:
            limit += f" limit_rate {bandwidth};"
        self._config = os.path.join(self.directory, "nginx.conf")
        with open(self._config, "w") as f:
            f.write(CONFIG.format(user=user, dir=self.directory,
                                  port=self.port,
                                  status_port=self.status_port,
                                  limit_zone=limit_zone, limit=limit))
        self._errors = open(os.path.join(self.directory, "error.log"), "a+")
        self._start_timeout = start_timeout
        self.resume()

    def resume(self):
        """Starts nginx (again, after pause())."""
        self._process = subprocess.Popen(
            [NGINX, "-p", self.directory, "-e", self._errors.name,
             "-c", self._config],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=self._errors)
        try:
            self._await_start(self._start_timeout)
        except BaseException:
            self.stop()
            raise

    def pause(self):
        """Stops nginx, so that its port refuses connections, as a server
        that is down does."""
        self._process.terminate()
        self._process.wait()

    def _await_start(self, timeout):
        give_up = time.monotonic() + timeout
        while self._process.poll() is None and time.monotonic() < give_up:
            try:
                socket.create_connection(("127.0.0.1", self.port), 1).close()
                return
            except OSError:
                time.sleep(0.02)
        self._errors.seek(0)
        raise BenchError("nginx did not start: " + self._errors.read())

    def stats(self, timeout=10):
        """The "requests" logged, their "body_bytes" sent and their
        "statuses" (status to count), once no other connection than the one
        asking is open."""
        give_up = time.monotonic() + timeout
        while self._connections() > 1 and time.monotonic() < give_up:
            time.sleep(0.01)
        with open(os.path.join(self.directory, "access.log")) as log:
            lines = [line.split() for line in log]
        statuses = collections.Counter(status for _, status, _ in lines)
        return {"requests": len(lines), "statuses": dict(statuses),
                "body_bytes": sum(int(sent) for _, _, sent in lines),
                "request_times": [float(time) for time, _, _ in lines]}

    def _connections(self):
        status = http.client.HTTPConnection("127.0.0.1", self.status_port)
        try:
            status.request("GET", "/")
            first_line = status.getresponse().read().decode().splitlines()[0]
        finally:
            status.close()
        return int(first_line.split(":")[1])  # "Active connections: N"
