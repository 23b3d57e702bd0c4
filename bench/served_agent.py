"""The download route's setting for the benchmarks: a bundle that ships no
agent, and a large agent archive served over HTTPS on 127.0.0.1."""
import os
import random
import shutil
import zipfile

import nginx_server
from bundle_fixture import Bundle
from measure import SIGNALLING_LAUNCHER, run_to_agent_signal
from server_fixture import HttpsServer

ARGUMENTS = ["--verbose", "My Documents/report.txt"]
BLOCK = 1 << 20


def large_download_pairs(repetitions):
    """The pairs of runs for a benchmark whose runs each fetch hundreds of
    megabytes: about half as many as the others take, and at least 5."""
    return max(5, repetitions // 2 + 1)


def write_agent_archive(path, size, seed=1):
    """Writes an agent archive of a little over "size" bytes at "path": the
    signalling launcher and "size" random bytes stored as they are, written
    a block at a time, so that a gigabyte takes neither memory nor a
    compressor's time."""
    rng = random.Random(seed)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as archive:
        archive.writestr("install", SIGNALLING_LAUNCHER)
        with archive.open("payload.bin", "w",
                          force_zip64=size >= zipfile.ZIP64_LIMIT) as payload:
            for offset in range(0, size, BLOCK):
                payload.write(rng.randbytes(min(BLOCK, size - offset)))


class ServedAgent:
    """A Bundle without an agent, and a "server" (HttpsServer or one like it)
    serving an archive of "size" bytes from the bundle's root folder; all
    removed at the end."""

    def __init__(self, size, server=HttpsServer):
        self.bundle = Bundle()
        try:
            self.archive = os.path.join(self.bundle.root, "served.zip")
            write_agent_archive(self.archive, size)
            self.server = server(self.archive)
        except BaseException:
            self.bundle.__exit__()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.server.stop()
        self.bundle.__exit__()

    def environment(self):
        return self.bundle.environment(self.server.environment())

    def run_bootstrapper(self, terminal=False, wrapper=(), cold=True):
        """A run of the bootstrapper on the download route, with the user's
        ARGUMENTS; from an empty cache when "cold"; started through the
        command "wrapper" if one is given."""
        if cold:
            shutil.rmtree(self.bundle.cache_dir(), ignore_errors=True)
        return run_to_agent_signal([*wrapper, self.bundle.executable,
                                    *ARGUMENTS],
                                   self.bundle.root, self.environment(),
                                   terminal=terminal)


def on_each_server(name, size, rows_for):
    """The rows of rows_for(label, served) with an archive of "size" bytes
    on the test server, then on nginx when it is installed."""
    with ServedAgent(size) as served:
        rows = rows_for("test server", served)
    if not nginx_server.installed():
        print(f"{name} on nginx skipped: nginx not installed")
        return rows
    with ServedAgent(size, nginx_server.NginxServer) as served:
        rows += rows_for("nginx", served)
    return rows
