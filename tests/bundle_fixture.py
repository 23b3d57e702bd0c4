"""A bootstrapper inside a bundle in a temporary folder, for end-to-end tests.

Each test module calls main(), which takes the bootstrapper's path from
argv[1] (CTest passes it) and runs the module's unittest cases.
"""
import fcntl
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

BOOTSTRAPPER = None

# The test agent's launcher: appends its process id to $AGENT_RECORD.starts,
# then writes its own path and each argument, each followed by a NUL byte, to
# $AGENT_RECORD, and exits with $AGENT_EXIT. The record appears whole (written
# aside, then renamed), so its presence says that the agent has started and
# counted itself: the download route does not wait for its agent.
RECORDING_LAUNCHER = (
    "echo $$ >> \"$AGENT_RECORD.starts\"\n"
    "printf '%s\\0' \"$0\" \"$@\" > \"$AGENT_RECORD.$$\"\n"
    "mv -f \"$AGENT_RECORD.$$\" \"$AGENT_RECORD\"\n"
    "exit \"${AGENT_EXIT:-0}\"\n")

# The GTK window's module, which the executable loads from its own folder.
GTK_MODULE = "bootstrapper-gtk.so"

CACHE_SUBPATH = ".vorpex/app_installer_cache/V3318k/osxi64"

# A working directory: "qz" and six characters.
WORKING_DIR = re.compile(r"qz[A-Za-z0-9]{6}")
# An agent's own directory in the cache.
AGENT_VERSION = re.compile(r"^installagent\.[A-Za-z0-9]{6}$")


# What the cache keeps of a download that did not complete.
PARTIAL = "InstallAgent.zip.partial"
PARTIAL_FILES = (PARTIAL, PARTIAL + ".about")


def main():
    global BOOTSTRAPPER
    BOOTSTRAPPER = os.path.abspath(sys.argv.pop(1))
    unittest.main()


def wait_until(condition, timeout=60):
    """Returns once condition() is true; fails after "timeout" seconds."""
    give_up = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > give_up:
            raise AssertionError("waited %d seconds in vain" % timeout)
        time.sleep(0.02)


def copy_executable(bootstrapper, executable):
    """Copies "bootstrapper" to "executable", and the GTK module beside it
    when the build made one."""
    shutil.copy2(bootstrapper, executable)
    module = os.path.join(os.path.dirname(bootstrapper), GTK_MODULE)
    if os.path.exists(module):
        shutil.copy2(module, os.path.join(os.path.dirname(executable),
                                          GTK_MODULE))


def make_zip(path, files):
    """Writes a deflated zip archive at "path" holding "files" (name to
    text or bytes)."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, text in files.items():
            archive.writestr(name, text)


def make_agent_zip(path, launcher=RECORDING_LAUNCHER, padding=0, seed=0):
    """Writes an agent archive at "path": "launcher" as "install" and, when
    "padding" is not 0, a file "padding" of that many random bytes, which
    do not deflate, so the archive is a little larger than "padding"."""
    files = {"install": launcher}
    if padding:
        files["padding"] = random.Random(seed).randbytes(padding)
    make_zip(path, files)


def snapshot(folder):
    """Everything below "folder": relative path to the file's bytes, or to
    None for a directory; without the record of where a cached agent came
    from (".downloadedfrom") and the download kept for the next run
    (PARTIAL_FILES), which test_resume.py looks at."""
    found = {}
    for parent, directories, files in os.walk(folder):
        for name in directories:
            found[os.path.relpath(os.path.join(parent, name), folder)] = None
        for name in files:
            if name == ".downloadedfrom" or name in PARTIAL_FILES:
                continue
            path = os.path.join(parent, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, folder)] = f.read()
    return found


class Bundle:
    """FOLDER/X.app/Contents/{MacOS,Resources} with the bootstrapper as
    MacOS/Setup and a bundle.zip in Resources. HOME and TMPDIR are fresh
    folders beside it; "folder" and "tmp" name the folders, as str or bytes,
    and may hold any byte but "/" and NUL."""

    def __init__(self, folder="folder", tmp="tmp"):
        folder, tmp = os.fsdecode(folder), os.fsdecode(tmp)
        self.root = tempfile.mkdtemp(prefix="e2e")
        self.folder = os.path.join(self.root, folder)
        self.app = os.path.join(self.folder, "X.app")
        self.resources = os.path.join(self.app, "Contents", "Resources")
        self.executable = os.path.join(self.app, "Contents", "MacOS", "Setup")
        self.home = os.path.join(self.root, "home")
        self.tmpdir = os.path.join(self.root, tmp)
        self.agent_log = os.path.join(self.root, "agent")
        self.record = os.path.join(self.agent_log, "record")
        for path in (self.resources, os.path.dirname(self.executable),
                     self.home, self.tmpdir, self.agent_log):
            os.makedirs(path)
        copy_executable(BOOTSTRAPPER, self.executable)
        make_zip(os.path.join(self.resources, "bundle.zip"),
                 {"README": "the product\n"})

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        shutil.rmtree(self.root, ignore_errors=True)

    def ship_agent(self, name="InstallAgent.zip", launcher=RECORDING_LAUNCHER):
        make_agent_zip(os.path.join(self.resources, name), launcher)

    def environment(self, env=None):
        """The clean environment of a run (PATH, HOME, TMPDIR and
        AGENT_RECORD) plus "env"."""
        environment = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"),
                       "HOME": self.home, "TMPDIR": self.tmpdir,
                       "AGENT_RECORD": self.record}
        environment.update(env or {})
        return environment

    def start(self, *args, env=None, preexec_fn=None):
        """Starts the bootstrapper in the root folder with "args" (str or
        bytes) and environment(env), as a run without a terminal: no
        standard input, output and errors to pipes, a session of its own
        (so no controlling terminal). "preexec_fn" runs in the child before
        the bootstrapper (to set a limit, say). Returns the Popen."""
        return subprocess.Popen([self.executable, *args], cwd=self.root,
                                env=self.environment(env),
                                stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                start_new_session=True, preexec_fn=preexec_fn)

    def run(self, *args, env=None, timeout=60, preexec_fn=None):
        """start()s the bootstrapper and finish()es it."""
        return self.finish(self.start(*args, env=env, preexec_fn=preexec_fn),
                           timeout)

    @staticmethod
    def finish(process, timeout=60):
        """Waits until a start()ed run, and every agent it started (they
        hold its pipes), has ended; returns the CompletedProcess with bytes
        output. Past "timeout" seconds the whole session is killed and
        TimeoutExpired raised."""
        with process:
            try:
                out, err = process.communicate(timeout=timeout)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.communicate()
                raise
        return subprocess.CompletedProcess(process.args, process.returncode,
                                           out, err)

    def agent_words(self):
        """The agent's launcher path and arguments as bytes, or None when it
        did not run."""
        if not os.path.exists(self.record):
            return None
        with open(self.record, "rb") as record:
            return record.read().split(b"\0")[:-1]

    def wait_for_agent(self, timeout=10):
        """agent_words() once the agent has written them, or None when it
        has not within "timeout" seconds."""
        give_up = time.monotonic() + timeout
        while not os.path.exists(self.record) and time.monotonic() < give_up:
            time.sleep(0.02)
        return self.agent_words()

    def agent_starts(self):
        """How many times an agent has started."""
        try:
            with open(self.record + ".starts") as starts:
                return len(starts.read().split())
        except FileNotFoundError:
            return 0

    def forget_agent(self):
        """Clears what agents recorded, for the next run."""
        shutil.rmtree(self.agent_log)
        os.makedirs(self.agent_log)

    def agent_call(self):
        """agent_words() decoded as the file system does."""
        words = self.agent_words()
        return None if words is None else [os.fsdecode(w) for w in words]

    def started_in_working_dir(self, launcher):
        """Whether "launcher" (str or bytes) is the "install" file of a
        working directory "qz" plus six characters in TMPDIR."""
        working_dir, name = os.path.split(os.fsdecode(launcher))
        parent, base = os.path.split(working_dir)
        return (name == "install" and parent == self.tmpdir and
                WORKING_DIR.fullmatch(base) is not None)

    def cache_dir(self):
        return os.path.join(self.home, CACHE_SUBPATH)

    def agent_dir(self):
        """The cache's current agent directory, where its link
        "installagent" points (the link's own path when it is no link)."""
        link = os.path.join(self.cache_dir(), "installagent")
        try:
            return os.path.join(self.cache_dir(), os.readlink(link))
        except OSError:
            return link

    def downloading(self):
        """Whether a run is downloading: a run holds the cache's slot for
        what it downloads, or the archive exists beside the bundle or in a
        working directory."""
        return (self.partial_held()
                or os.path.exists(os.path.join(self.folder, "InstallAgent.zip"))
                or any(os.path.exists(os.path.join(self.tmpdir, d,
                                                   "InstallAgent.zip"))
                       for d in os.listdir(self.tmpdir)))

    def partial_held(self):
        """Whether a run holds the cache's slot for a download (its flock)."""
        try:
            fd = os.open(os.path.join(self.cache_dir(), PARTIAL), os.O_RDONLY)
        except OSError:
            return False
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return False
        except BlockingIOError:
            return True
        finally:
            os.close(fd)

    def cache_entries(self):
        """The names in the cache directory, sorted, each agent directory
        "installagent.XXXXXX" as "installagent.*", without PARTIAL_FILES;
        [] without a cache."""
        try:
            names = os.listdir(self.cache_dir())
        except FileNotFoundError:
            return []
        return sorted(AGENT_VERSION.sub("installagent.*", name)
                      for name in names if name not in PARTIAL_FILES)

    def stray_files(self):
        """What a shell that ran injected commands might have left in the
        root folder."""
        return sorted(set(os.listdir(self.root)) -
                      {os.path.basename(p) for p in (
                          self.folder, self.home, self.tmpdir,
                          self.agent_log)})
