"""How a run of the download window ends: a failure the window shows also
reaches standard error, even after the window closed, a signal during the
unpack wins over the start of the agent, and the terminal window gives way
to one summary line."""
import errno
import os
import resource
import shutil
import os.path
import signal
import subprocess
import time
import unittest
import zipfile

import bundle_fixture
from bundle_fixture import Bundle, make_agent_zip
from server_fixture import HttpsServer
from test_hardening import Terminal

RUN_TIMEOUT = 60

# Stands in for unzip on the PATH: waits for a line from the fifo $UNZIP_GO,
# then runs the real unzip.
UNZIP_WRAPPER = """#!/bin/sh
read go < "$UNZIP_GO"
exec %s "$@"
"""


def open_when_read(fifo, timeout=RUN_TIMEOUT):
    """The fifo's descriptor for writing, once a reader has opened it."""
    give_up = time.monotonic() + timeout
    while True:
        try:
            return os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
        except OSError as error:
            if error.errno != errno.ENXIO or time.monotonic() > give_up:
                raise
        time.sleep(0.02)


class WindowEndingCase(unittest.TestCase):

    def setUp(self):
        self.bundle = Bundle()
        self.addCleanup(self.bundle.__exit__)
        self.archive = os.path.join(self.bundle.root, "served.zip")
        make_agent_zip(self.archive)
        self.server = HttpsServer(self.archive)
        self.addCleanup(self.server.stop)

    def assert_failed(self, result, *lines):
        """Exit status 255 and exactly "lines" then "Installation failed."
        on standard error; no agent, no working directory."""
        self.assertEqual(
            (255, [*lines, "Installation failed."]),
            (result.returncode, result.stderr.decode().splitlines()))
        self.assertEqual(0, self.bundle.agent_starts())
        self.assertEqual([], os.listdir(self.bundle.tmpdir))


class FailureLineTest(WindowEndingCase):

    def test_a_failed_start_from_the_cache_is_printed(self):
        # The cached agent is current, the window closes, and its start
        # fails: the agent's command line (a few paths longer than the
        # bootstrapper's own) is just too long for the kernel.
        os.makedirs(self.bundle.agent_dir())
        with zipfile.ZipFile(self.archive) as archive:
            archive.extractall(self.bundle.agent_dir())
        with open(os.path.join(self.bundle.cache_dir(), ".validatestring"),
                  "w") as stamp:
            stamp.write('"v1"')
        self.server.set_control(etag='"v1"')
        env = self.bundle.environment(self.server.environment())

        def size(program, argv):
            return (len(program) + 1 + sum(len(a) + 1 for a in argv) +
                    sum(len(k) + len(v) + 2 for k, v in env.items()) +
                    8 * (len(argv) + len(env)))
        bundle_zip = os.path.join(self.bundle.resources, "bundle.zip")
        launcher = os.path.join(self.bundle.agent_dir(), "install")
        ours = size(self.bundle.executable, [self.bundle.executable])
        agents = size("/bin/sh",
                      ["/bin/sh", launcher, "-installbundle", bundle_zip])
        self.assertGreater(agents - ours, 40)
        # With a 1 MiB stack the strings of an exec may take 256 KiB.
        limit = 1 << 18
        room = limit - ours - (agents - ours) // 2
        # Each argument takes its bytes, a NUL and a pointer.
        args = ["x" * 65527] * (room // 65536)
        if room % 65536 > 9:
            args.append("y" * (room % 65536 - 9))

        def small_stack():
            resource.setrlimit(resource.RLIMIT_STACK, (1 << 20, 1 << 20))
        result = self.bundle.run(*args, env=self.server.environment(),
                                 timeout=RUN_TIMEOUT, preexec_fn=small_stack)
        self.assert_failed(result, "The installer could not be started.")


class SignalDuringUnpackTest(WindowEndingCase):

    def test_a_signal_during_the_unpack_starts_no_agent(self):
        bin_dir = os.path.join(self.bundle.root, "bin")
        os.mkdir(bin_dir)
        wrapper = os.path.join(bin_dir, "unzip")
        with open(wrapper, "w") as f:
            f.write(UNZIP_WRAPPER % shutil.which("unzip"))
        os.chmod(wrapper, 0o755)
        go = os.path.join(self.bundle.root, "go")
        os.mkfifo(go)
        env = dict(self.server.environment(), UNZIP_GO=go,
                   PATH=bin_dir + os.pathsep + os.environ["PATH"])
        # A signal to the bootstrapper alone lets unzip complete. Ctrl-C on
        # a terminal sends SIGINT to the whole process group (the run's
        # session), unzip included, which then fails.
        for signo, send in ((signal.SIGTERM, os.kill), (signal.SIGINT, os.kill),
                            (signal.SIGINT, os.killpg)):
            with self.subTest(signal=signo, group=send is os.killpg):
                shutil.rmtree(self.bundle.cache_dir(), ignore_errors=True)
                self.bundle.forget_agent()
                process = self.bundle.start(env=env)
                fifo = open_when_read(go)
                send(process.pid, signo)
                with open(fifo, "w") as f:
                    if send is os.kill:
                        f.write("go\n")
                result = Bundle.finish(process, RUN_TIMEOUT)
                lines = result.stderr.decode().splitlines()
                self.assertEqual(255, result.returncode, lines)
                if send is os.kill:
                    self.assertEqual(["Installation failed."], lines)
                else:
                    self.assertEqual("Installation failed.", lines[-1])
                self.assertEqual(0, self.bundle.agent_starts())
                self.assertEqual([], os.listdir(self.bundle.tmpdir))


class TerminalWindowTest(WindowEndingCase):

    def test_cancel_after_an_unzip_failure_leaves_the_summary_line(self):
        # The terminal says its cursor is on row 5; the window is drawn
        # below it, with the bundle's name and the detail line.
        with open(self.archive, "wb") as f:
            f.write(b"no zip" * 1000)
        terminal = Terminal()
        self.addCleanup(terminal.close)
        process = subprocess.Popen(
            [self.bundle.executable],
            env=self.bundle.environment(self.server.environment()),
            stdin=terminal.slave, stdout=terminal.slave,
            stderr=terminal.slave, start_new_session=True)
        self.addCleanup(process.kill)
        terminal.wait_for(b"\x1b[6n")
        os.write(terminal.master, b"\x1b[5;1R")
        failed = terminal.wait_for(b"Failed to unzip the installer.")
        drawn = terminal.text()
        self.assertIn(b"\x1b[6HX\x1b[K", drawn)  # the title, below row 5
        self.assertRegex(drawn, rb"6\.0 of 6\.0 kB \xc2\xb7 .*from 127\.0\.0\.1")
        terminal.wait_for(b"[ Cancel: Return ]", failed)

        os.write(terminal.master, b"\r")
        self.assertEqual(255, process.wait(RUN_TIMEOUT))
        end = terminal.wait_for(b"Installation failed.")
        ending = terminal.text()[failed:end]
        self.assertIn(b"\x1b[r\x1b[5H\x1b[JX: failed: Failed to unzip the "
                      b"installer.\r\n", ending)
        self.assertEqual(0, self.bundle.agent_starts())


if __name__ == "__main__":
    bundle_fixture.main()
