"""tests/https_server.py run for a test or a benchmark: on 127.0.0.1, with a
CA made when it starts, a mode set through its control file and counters read
from its stats file.

    with HttpsServer(archive) as server:
        server.set_control(etag='"v2"', cut_after=1000)
        result = bundle.run(env=server.environment())
        server.stats()["body_bytes"]
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

from https_server import write_atomically

SERVER_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                             "https_server.py")


class ServerError(Exception):
    """The server did not start, or its counters did not settle."""


def make_ca(directory):
    """Makes a CA into "directory"/ca.pem that no server here chains to;
    returns its path."""
    subprocess.run([sys.executable, SERVER_SCRIPT, "--make-ca", directory],
                   check=True, timeout=30)
    return os.path.join(directory, "ca.pem")


def end_process(process):
    """Ends a test's server "process": SIGTERM, then SIGKILL after 5 s."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class HttpsServer:
    """Serves "archive" at every path over TLS (plain HTTP with "plain") from
    its own temporary folder, which holds its CA, port, control and stats.
    Stops, and removes the folder, on stop() or when the with block ends; it
    also ends with the process that started it."""

    def __init__(self, archive, plain=False, start_timeout=30):
        self.directory = tempfile.mkdtemp(prefix="server")
        self.plain = plain
        self.ca_file = os.path.join(self.directory, "ca.pem")
        self._errors = open(os.path.join(self.directory, "errors"), "w+")
        options = ["--plain"] if plain else []
        self._process = subprocess.Popen(
            [sys.executable, SERVER_SCRIPT, *options, archive, self.directory],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=self._errors)
        try:
            self.port = self._await_port(start_timeout)
        except BaseException:
            self.stop()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def _await_port(self, timeout):
        port_file = os.path.join(self.directory, "port")
        give_up = time.monotonic() + timeout
        while time.monotonic() < give_up:
            if os.path.exists(port_file):
                with open(port_file) as f:
                    return int(f.read())
            if self._process.poll() is not None:
                break
            time.sleep(0.02)
        self._errors.seek(0)
        raise ServerError("the HTTPS server did not start: " +
                          self._errors.read())

    def url(self, path="/InstallAgent.zip"):
        scheme = "http" if self.plain else "https"
        return "%s://127.0.0.1:%d%s" % (scheme, self.port, path)

    def environment(self, path="/InstallAgent.zip"):
        """What a bootstrapper needs to download from here: the URL override
        and the CA to trust."""
        return {"QZ_INTERNAL_INSTALL_AGENT_URL": self.url(path),
                "SSL_CERT_FILE": self.ca_file}

    def set_control(self, **control):
        """Sets the server's mode for the next requests; the keys are those
        of https_server.py's control file (etag, if_none_match,
        refuse_if_none_match, status, cut_after, no_length,
        close_delimited, content_encoding, content_length, endless, stall,
        rate, file, retry_after, reset, ignore_ranges, faults, minisig). Nothing given restores the default."""
        write_atomically(os.path.join(self.directory, "control.json"),
                         json.dumps(control))

    def stats(self, timeout=10):
        """The server's counters (requests, active, body_bytes, statuses,
        request_times, ranges, connections, minisig_requests) once no
        request is in progress."""
        give_up = time.monotonic() + timeout
        while True:
            with open(os.path.join(self.directory, "stats.json")) as f:
                stats = json.load(f)
            if stats["active"] == 0:
                return stats
            if time.monotonic() >= give_up:
                raise ServerError("requests still in progress: %r" % stats)
            time.sleep(0.02)

    def stop(self):
        end_process(self._process)
        self._errors.close()
        shutil.rmtree(self.directory, ignore_errors=True)
