"""The bootstrapper where the environment is hostile or careless: a working
directory that cannot be made where asked, a password in the URL, a shipped
agent that cannot start, signals from a terminal or a timer, unzip on a full
disk, and runs in the background of a terminal."""
import fcntl
import os
import pty
import resource
import shutil
import signal
import subprocess
import termios
import threading
import time
import unittest

import bundle_fixture
from bundle_fixture import Bundle, make_agent_zip, make_zip, wait_until
from server_fixture import HttpsServer

RUN_TIMEOUT = 60
NOBODY = 65534
HIDE_CURSOR = b"\x1b[?25l"
SHOW_CURSOR = b"\x1b[?25h"
END_SCROLLING_REGION = b"\x1b[r"

# Records its start like the recording launcher, then runs until a signal
# ends it.
LINGERING_LAUNCHER = (bundle_fixture.RECORDING_LAUNCHER.replace(
    "exit", "sleep %d; exit" % RUN_TIMEOUT))


def requires_root(test):
    return unittest.skipUnless(os.geteuid() == 0, "needs root: chown")(test)


def as_nobody():
    os.setgroups([])
    os.setgid(NOBODY)
    os.setuid(NOBODY)


def lines(result):
    return result.stderr.decode(errors="replace").splitlines()


class HardeningCase(unittest.TestCase):

    def setUp(self):
        self.bundle = Bundle()
        self.addCleanup(self.bundle.__exit__)
        self.archive = os.path.join(self.bundle.root, "served.zip")
        make_agent_zip(self.archive)

    def file_url(self, path=None):
        return {"QZ_INTERNAL_INSTALL_AGENT_URL":
                "file://" + (path or self.archive)}

    def assert_failed_with(self, result, expected):
        """255 and exactly the lines "expected", then "Installation
        failed."; no agent and no working directory left."""
        self.assertEqual((255, expected + ["Installation failed."]),
                         (result.returncode, lines(result)))
        self.assertEqual(0, self.bundle.agent_starts())
        self.assertEqual([], os.listdir(self.bundle.tmpdir))

    def working_archive_exists(self):
        return self.bundle.downloading()


class ForcedTerminalTest(HardeningCase):
    def test_a_terminal_forced_without_one_never_waits_for_keys(self):
        # Standard error is a pipe: no key could ever close the failed window.
        result = self.bundle.run(env={"QZ_INSTALLER_FRONT_END": "terminal",
                                      "QZ_INTERNAL_INSTALL_AGENT_URL":
                                      "https://"})
        self.assertEqual(255, result.returncode)
        self.assertEqual("Installation failed.", lines(result)[-1])


class WorkingDirectoryTest(HardeningCase):

    def test_an_unusable_tmpdir_falls_back_to_tmp(self):
        # The user's own files beside the bundle are never the payload's.
        own = {"install": b"the user's script\n",
               "InstallAgent.zip": b"the user's archive\n"}
        for name, content in own.items():
            with open(os.path.join(self.bundle.folder, name), "wb") as f:
                f.write(content)
        a_file = os.path.join(self.bundle.root, "a-file")
        open(a_file, "w").close()
        missing_url = self.file_url(os.path.join(self.bundle.root, "none"))
        for tmpdir in (os.path.join(self.bundle.root, "missing"), a_file):
            for route, env, status in (("download", self.file_url(), 0),
                                       ("failed download", missing_url, 255),
                                       ("shipped", {}, 0)):
                with self.subTest(tmpdir=tmpdir, route=route):
                    if route == "shipped":
                        self.bundle.ship_agent()
                    self.bundle.forget_agent()
                    result = self.bundle.run(env=dict(env, TMPDIR=tmpdir))
                    self.assertEqual(status, result.returncode,
                                     result.stderr)
                    if status == 0:
                        launcher = self.bundle.agent_call()[0]
                    if route == "shipped":
                        self.assertRegex(launcher, r"^/tmp/qz\w{6}/install$")
                        self.assertFalse(os.path.exists(launcher))
                        os.remove(os.path.join(self.bundle.resources,
                                               "InstallAgent.zip"))
                    for name, content in own.items():
                        with open(os.path.join(self.bundle.folder,
                                               name), "rb") as f:
                            self.assertEqual(content, f.read())

    def test_a_relative_tmpdir_is_made_absolute(self):
        self.bundle.ship_agent()
        for relative in ("tmp", "-x"):
            with self.subTest(tmpdir=relative):
                os.makedirs(os.path.join(self.bundle.root, relative),
                            exist_ok=True)
                result = self.bundle.run(env={"TMPDIR": relative})
                self.assertEqual((0, b""), (result.returncode, result.stderr))
                launcher = self.bundle.agent_call()[0]
                self.assertRegex(launcher, "^%s/%s/qz\\w{6}/install$" % (
                    self.bundle.root, relative))

    def test_without_any_private_directory_nothing_runs(self):
        # /tmp made read-only for this run alone, in a mount namespace.
        if shutil.which("unshare") is None or os.geteuid() != 0:
            self.skipTest("needs root and unshare")
        self.bundle.ship_agent()
        read_only_tmp = ("mount --bind /tmp /tmp && "
                         "mount -o remount,bind,ro /tmp || exit 99; "
                         'exec "$0"')
        result = subprocess.run(
            ["unshare", "--mount", "sh", "-c", read_only_tmp,
             self.bundle.executable],
            env=self.bundle.environment({"TMPDIR": "/no/such/dir"}),
            stdin=subprocess.DEVNULL, capture_output=True,
            timeout=RUN_TIMEOUT)
        if result.returncode == 99:
            self.skipTest("cannot mount here: %r" % result.stderr)
        self.assert_failed_with(result, [
            "Could not create a working directory in /tmp: Read-only file "
            "system."])

    def run_shipped(self, left=(), preexec_fn=None):
        """The launcher of the shipped agent that a run started, which
        ended with 0 and left nothing in TMPDIR but the names "left"."""
        starts = self.bundle.agent_starts() + 1
        result = self.bundle.run(preexec_fn=preexec_fn)
        self.assertEqual((0, b"", starts), (result.returncode, result.stderr,
                                            self.bundle.agent_starts()))
        self.assertEqual(sorted(left), sorted(os.listdir(self.bundle.tmpdir)))
        return self.bundle.agent_call()[0]

    @requires_root
    def test_a_tmpdir_another_user_may_change_is_not_used(self):
        # Another user could swap the working directory for one of theirs.
        self.bundle.ship_agent()
        tmpdir = self.bundle.tmpdir
        for name, top, mode, owner, used in (
                ("group-writable", tmpdir, 0o770, 0, False),
                ("another user's", tmpdir, 0o755, NOBODY, False),
                ("below a shared one", self.bundle.root, 0o777, 0, False),
                ("sticky", tmpdir, 0o1777, 0, True)):
            with self.subTest(name):
                os.chown(top, owner, owner)
                os.chmod(top, mode)
                launcher = self.run_shipped()
                self.assertEqual(used,
                                 self.bundle.started_in_working_dir(launcher))
                if not used:
                    self.assertRegex(launcher, r"^/tmp/qz\w{6}/install$")
                os.chown(top, 0, 0)
                os.chmod(top, 0o700)

    @requires_root
    def test_working_directories_go_with_all_they_hold(self):
        # Runs of a user whom read-only directories stop, unlike root, with
        # agents that make theirs read-only; root's entries are another
        # user's to them.
        os.chmod(self.bundle.root, 0o755)
        for path in (self.bundle.tmpdir, self.bundle.agent_log):
            os.chown(path, NOBODY, NOBODY)
        read_only = ('mkdir "${0%/*}/made" && chmod -R a-w "${0%/*}" '
                     '|| exit 1\n')
        self.bundle.ship_agent(launcher=read_only + LINGERING_LAUNCHER)
        live = self.bundle.start(preexec_fn=as_nobody)
        self.addCleanup(TerminalTest.end, live.pid, live)
        self.assertIsNotNone(self.bundle.wait_for_agent(RUN_TIMEOUT))
        [running] = os.listdir(self.bundle.tmpdir)
        young, roots, link = "qzYoung1", "qzRoots1", "qzLinked"
        entry = lambda name: os.path.join(self.bundle.tmpdir, name)
        outside = os.path.join(self.bundle.root, "outside")
        for path in (outside, entry(young), entry(roots)):
            os.mkdir(path)
        os.symlink(outside, entry(link))
        for path in (outside, entry(young), entry(link)):
            os.lchown(path, NOBODY, NOBODY)
        long_ago = time.time() - 3600
        for name in (running, roots, link):
            os.utime(entry(name), (long_ago, long_ago), follow_symlinks=False)

        # The run that made it still lives: its directory stays. Killed,
        # it leaves the directory to the next run to remove.
        self.bundle.ship_agent(
            launcher=read_only + bundle_fixture.RECORDING_LAUNCHER)
        self.run_shipped([running, young, roots, link], as_nobody)
        os.killpg(live.pid, signal.SIGKILL)
        live.wait()
        self.run_shipped([young, roots, link], as_nobody)
        self.assertTrue(os.path.isdir(outside))


class UrlSecretTest(HardeningCase):

    def test_a_password_in_the_url_is_never_shown(self):
        with HttpsServer(self.archive) as server:
            server.set_control(status=404)
            url = server.url("/agent?x=@").replace(
                "https://", "https://user:secret@")
            for given, shown in (
                    (url, server.url("/agent?x=@")),
                    ("https://user:secret@[::1", "https://[::1")):
                with self.subTest(url=given):
                    result = self.bundle.run(env=dict(
                        server.environment(),
                        QZ_INTERNAL_INSTALL_AGENT_URL=given))
                    self.assertEqual(255, result.returncode)
                    self.assertTrue(lines(result)[0].endswith(" " + shown),
                                    lines(result))
                    self.assertNotIn(b"secret", result.stderr)


class ShippedAgentTest(HardeningCase):

    def test_an_archive_without_a_launcher_starts_nothing(self):
        shipped = os.path.join(self.bundle.resources, "InstallAgent.zip")
        for files in ({"setup": "exit 0\n"}, {"install/run": "exit 0\n"}):
            with self.subTest(files=files):
                make_zip(shipped, files)
                self.assert_failed_with(
                    self.bundle.run(),
                    ["Failed to initialize the install agent."])

    def test_a_line_the_kernel_refuses_is_a_failed_start(self):
        self.bundle.ship_agent()
        many = ["file%06d.txt" % i for i in range(1, 10001)]
        for args in (many, ["a" * 70_000, "b" * 70_000]):
            with self.subTest(count=len(args)):
                self.assert_failed_with(
                    self.bundle.run(*args),
                    ["Failed to start the instal agent"] * 2)

    def test_a_signal_while_the_agent_runs_ends_it_and_cleans_up(self):
        # The agent ends with the run (it is in the run's process group) and
        # the working directory goes.
        self.bundle.ship_agent(launcher=LINGERING_LAUNCHER)
        for signo in (signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=signo):
                self.bundle.forget_agent()
                process = self.bundle.start()
                self.assertIsNotNone(self.bundle.wait_for_agent(RUN_TIMEOUT))
                process.send_signal(signo)
                result = Bundle.finish(process, timeout=10)
                self.assertEqual((255, ["Installation failed."]),
                                 (result.returncode, lines(result)))
                self.assertEqual([], os.listdir(self.bundle.tmpdir))

    def test_unzip_on_a_full_disk_never_asks_the_terminal(self):
        # unzip asks "Continue? (y/n/^C)" on its standard input when a write
        # fails; the run's own input stays open and silent, so a question
        # there would wait until the time-out.
        make_zip(os.path.join(self.bundle.resources, "InstallAgent.zip"),
                 {"install": "exit 0\n", "large": bytes(4_000_000)})

        def full_disk():
            resource.setrlimit(resource.RLIMIT_FSIZE, (1_000_000, 1_000_000))
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        silent, keep_open = os.pipe()
        self.addCleanup(os.close, keep_open)
        with open(silent, "rb") as stdin:
            process = subprocess.Popen(
                [self.bundle.executable], env=self.bundle.environment(),
                stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                start_new_session=True, preexec_fn=full_disk)
        result = Bundle.finish(process, timeout=RUN_TIMEOUT)
        self.assertIn(b"write error (disk full?)", result.stderr)
        self.assertEqual(["Failed to unzip the install agent",
                          "Failed to initialize the install agent.",
                          "Installation failed."], lines(result)[-3:])
        self.assertEqual(255, result.returncode)


class InheritedDescriptorTest(HardeningCase):

    def test_the_agent_inherits_only_its_streams_and_its_lock(self):
        fds = self.bundle.record + ".fds"
        launcher = ('ls -l /proc/$$/fd > "$AGENT_RECORD.fds"\n' +
                    bundle_fixture.RECORDING_LAUNCHER)
        make_zip(self.archive, {"install": launcher})

        def inherited():
            """The agent's open files but pipes (its output, its errors and
            the shell's copies), its directory written DIR."""
            agent_dir = os.path.dirname(self.bundle.agent_call()[0])
            with open(fds) as f:
                links = [line.split(" -> ")[1]
                         for line in f.read().splitlines() if " -> " in line]
            return {link.replace(agent_dir, "DIR") for link in links
                    if not link.startswith("pipe:")}
        with HttpsServer(self.archive) as server:
            # An install, then a cache hit while the transfer is still open.
            for stall in (0, RUN_TIMEOUT):
                server.set_control(etag='"e1"', if_none_match=False,
                                   stall=stall)
                self.assertEqual(0, self.bundle.run(
                    env=server.environment()).returncode)
            self.assertEqual({"/dev/null", fds, "DIR", "DIR/install"},
                             inherited())
        self.bundle.ship_agent(launcher=launcher)
        self.assertEqual(0, self.bundle.run().returncode)
        self.assertEqual({"/dev/null", fds, "DIR/install"}, inherited())


class DownloadSignalTest(HardeningCase):
    """Signals while the server holds the body back."""

    def setUp(self):
        super().setUp()
        self.server = HttpsServer(self.archive)
        self.addCleanup(self.server.stop)
        self.server.set_control(stall=RUN_TIMEOUT)

    def start_download(self, **start):
        process = self.bundle.start(env=self.server.environment(), **start)
        wait_until(self.working_archive_exists)
        return process

    def test_each_signal_ends_the_run_and_leaves_nothing(self):
        # SIGPIPE is harmless (a write to a closed pipe fails instead): the
        # SIGTERM after it ends the run.
        for signals in ([signal.SIGHUP], [signal.SIGQUIT], [signal.SIGALRM],
                        [signal.SIGPIPE, signal.SIGTERM]):
            with self.subTest(signals=signals):
                process = self.start_download()
                for signo in signals:
                    process.send_signal(signo)
                self.assert_failed_with(Bundle.finish(process, 10), [])


class Terminal:
    """A pseudo-terminal as the run's standard streams; what the run draws
    is collected from its other side."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        self.output = b""
        self._lock = threading.Lock()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        while True:
            try:
                data = os.read(self.master, 4096)
            except OSError:
                return
            if not data:
                return
            with self._lock:
                self.output += data

    def text(self):
        with self._lock:
            return self.output

    def wait_for(self, text, after=0):
        """The offset just past the first "text" in the output from
        "after" on, once it has arrived."""
        wait_until(lambda: self.text().find(text, after) >= 0, 10)
        return self.text().find(text, after) + len(text)

    def echoes(self):
        lflag = termios.tcgetattr(self.slave)[3]
        return bool(lflag & termios.ECHO) and bool(lflag & termios.ICANON)

    def close(self):
        os.close(self.slave)
        os.close(self.master)


class TerminalTest(HardeningCase):

    def setUp(self):
        super().setUp()
        self.terminal = Terminal()
        self.addCleanup(self.terminal.close)

    def start_on_terminal(self, args, env, preexec_fn=None):
        process = subprocess.Popen(
            args, env=self.bundle.environment(env), stdin=self.terminal.slave,
            stdout=self.terminal.slave, stderr=self.terminal.slave,
            start_new_session=True, preexec_fn=preexec_fn)
        self.addCleanup(self.end, process.pid, process)
        return process

    @staticmethod
    def end(group, process=None):
        """Kills what a failed test left running or stopped."""
        try:
            os.killpg(group, signal.SIGKILL)
        except ProcessLookupError:
            pass
        if process is not None:
            process.wait()

    def test_quit_and_stop_give_the_terminal_back(self):
        with HttpsServer(self.archive) as server:
            server.set_control(stall=RUN_TIMEOUT)
            process = self.start_on_terminal([self.bundle.executable],
                                             server.environment())
            drawn = self.terminal.wait_for(HIDE_CURSOR)
            wait_until(self.working_archive_exists)
            self.assertFalse(self.terminal.echoes())

            # Ctrl-Z: the terminal as it was, then the stop.
            process.send_signal(signal.SIGTSTP)

            def stopped():
                pid, status = os.waitpid(process.pid,
                                         os.WUNTRACED | os.WNOHANG)
                return pid != 0 and os.WIFSTOPPED(status)
            wait_until(stopped, 10)
            self.assertTrue(self.terminal.echoes())
            given_back = self.terminal.wait_for(END_SCROLLING_REGION, drawn)
            self.terminal.wait_for(SHOW_CURSOR, given_back)

            # Continued, it draws the window again and takes the keys.
            process.send_signal(signal.SIGCONT)
            redrawn = self.terminal.wait_for(HIDE_CURSOR, given_back)
            wait_until(lambda: not self.terminal.echoes(), 10)

            # Ctrl-\ ends the run like Ctrl-C, the terminal restored.
            process.send_signal(signal.SIGQUIT)
            self.assertEqual(255, process.wait(10))
            self.assertTrue(self.terminal.echoes())
            self.terminal.wait_for(SHOW_CURSOR, self.terminal.wait_for(
                END_SCROLLING_REGION, redrawn))
            self.assertEqual([], os.listdir(self.bundle.tmpdir))

    def test_an_encrypted_archive_never_asks_the_terminal(self):
        # unzip would open the controlling terminal itself and wait there
        # at "install password:" for whatever the user types.
        encrypted = os.path.join(self.bundle.root, "encrypted.zip")
        with open(os.path.join(self.bundle.root, "install"), "w") as f:
            f.write(bundle_fixture.RECORDING_LAUNCHER)
        subprocess.run(["zip", "-q", "-P", "secret", encrypted, "install"],
                       cwd=self.bundle.root, check=True)
        shipped = os.path.join(self.bundle.resources, "InstallAgent.zip")
        for route, env in (("download", {"QZ_INSTALLER_FRONT_END": "headless",
                                         "QZ_INTERNAL_INSTALL_AGENT_URL":
                                         "file://" + encrypted}),
                           ("shipped", {})):
            with self.subTest(route=route):
                if route == "shipped":
                    os.rename(encrypted, shipped)
                after = len(self.terminal.text())
                # The terminal is the run's controlling one, /dev/tty.
                process = self.start_on_terminal(
                    [self.bundle.executable], env,
                    lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
                self.assertEqual(255, process.wait(RUN_TIMEOUT))
                self.terminal.wait_for(b"Installation failed.", after)
                shown = self.terminal.text()[after:]
                self.assertNotIn(b"password", shown)
                self.assertIn(b"Failed to unzip the install agent", shown)
                self.assertEqual(0, self.bundle.agent_starts())

    def test_a_background_run_that_fails_ends_by_itself(self):
        # A job-control shell on the terminal runs it in the background:
        # no key can reach it there, so a failure must not wait for one.
        job = os.path.join(self.bundle.root, "job")
        shell = ["setsid", "--ctty", "--wait", "sh", "-mc",
                 '"$0" & echo $! > "$1"; wait $!', self.bundle.executable, job]
        process = self.start_on_terminal(
            shell, {"QZ_INTERNAL_INSTALL_AGENT_URL": "https://"})
        wait_until(lambda: os.path.getsize(job) if os.path.exists(job)
                   else 0)
        with open(job) as f:
            self.addCleanup(self.end, int(f.read()))  # a group of its own
        self.assertEqual(255, process.wait(RUN_TIMEOUT))
        self.terminal.wait_for(b"Installation failed.")
        self.assertNotIn(HIDE_CURSOR, self.terminal.text())


if __name__ == "__main__":
    bundle_fixture.main()
