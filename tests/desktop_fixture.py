"""A private X display (Xvfb) with a session bus for the accessibility
tree, for tests and benchmarks of the download window.

    with Desktop() as desktop:          # raises DesktopUnavailable
        env = desktop.environment()      # DISPLAY, the bus, LSan's GTK list
        frame = desktop.find_frame(pid)  # the window through AT-SPI
        desktop.close_window(pid)        # WM_DELETE_WINDOW, as a WM sends it

Debian's pyatspi and python-xlib belong to the system's Python: a script
that needs them calls use_system_python() first.
"""
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

SYSTEM_PYTHON = "/usr/bin/python3"
# fontconfig keeps some allocations for the life of the process, which
# LeakSanitizer would report in a sanitized build.
LSAN_SUPPRESSIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                 "lsan-gtk.supp")


class DesktopUnavailable(Exception):
    """Xvfb is missing or did not start."""


def use_system_python():
    """Runs this script again under the system's Python when the one
    running it lacks pyatspi or python-xlib."""
    try:
        import pyatspi  # noqa: F401
        import Xlib  # noqa: F401
    except ImportError:
        if (os.path.exists(SYSTEM_PYTHON) and
                os.path.realpath(sys.executable) !=
                os.path.realpath(SYSTEM_PYTHON)):
            os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, *sys.argv])
        raise


def _read_line(stream_fd, timeout):
    """The first line written to "stream_fd" within "timeout" seconds."""
    data = b""
    give_up = time.monotonic() + timeout
    while not data.endswith(b"\n"):
        left = give_up - time.monotonic()
        if left <= 0 or not select.select([stream_fd], [], [], left)[0]:
            return None
        chunk = os.read(stream_fd, 256)
        if not chunk:
            return None
        data += chunk
    return data.decode().strip()


class Desktop:
    """Starts Xvfb on a free display and a session bus, and names both in
    this process's environment; stops both and restores the environment at
    the end of the with block."""

    _NAMES = ("DBUS_SESSION_BUS_ADDRESS", "DISPLAY")

    def __init__(self, size="1024x768x24", timeout=30):
        self._processes = []
        self._saved = {name: os.environ.get(name) for name in self._NAMES}
        try:
            read_end, write_end = os.pipe()
            try:
                xvfb = subprocess.Popen(
                    ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                     size, "-nolisten", "tcp"],
                    pass_fds=(write_end,), stdin=subprocess.DEVNULL,
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            finally:
                os.close(write_end)
            self._processes.append(xvfb)
            number = _read_line(read_end, timeout)
            os.close(read_end)
        except OSError as error:
            raise DesktopUnavailable("Xvfb cannot be started: %s" % error)
        if not number:
            self.stop()
            raise DesktopUnavailable("Xvfb did not open a display")
        self.display = ":" + number
        # The accessibility bus that the session bus starts puts its socket
        # in the runtime directory, else in the user's cache, where desktops
        # of tests run at once would take each other's.
        self._runtime_dir = tempfile.mkdtemp(prefix="xdg-runtime")
        bus = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
            env=dict(os.environ, XDG_RUNTIME_DIR=self._runtime_dir),
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL)
        self._processes.append(bus)
        self.bus = _read_line(bus.stdout.fileno(), timeout)
        # The accessibility registry is found through this bus.
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.bus
        os.environ["DISPLAY"] = self.display
        self._x = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        if self._x is not None:
            self._x.close()
            self._x = None
        for process in reversed(self._processes):
            if process.poll() is None:
                process.terminate()
                process.wait()
            if process.stdout is not None:
                process.stdout.close()
        self._processes = []
        if getattr(self, "_runtime_dir", None):
            shutil.rmtree(self._runtime_dir, ignore_errors=True)
            self._runtime_dir = None
        for name, value in self._saved.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value

    def environment(self):
        """What a run needs to show its window here."""
        return {"DISPLAY": self.display, "DBUS_SESSION_BUS_ADDRESS": self.bus,
                "LSAN_OPTIONS": "suppressions=%s:print_suppressions=0" %
                LSAN_SUPPRESSIONS}

    def x(self):
        from Xlib import display
        if self._x is None:
            self._x = display.Display(self.display)
        return self._x

    def find_frame(self, pid, timeout=20):
        """The AT-SPI frame of the process "pid", once it shows one."""
        import pyatspi
        give_up = time.monotonic() + timeout
        while time.monotonic() < give_up:
            for app in pyatspi.Registry.getDesktop(0):
                try:
                    if app is None or app.get_process_id() != pid:
                        continue
                    for child in app:
                        if child.getRole() == pyatspi.ROLE_FRAME:
                            return child
                except Exception:  # an application that just went away
                    continue
            time.sleep(0.1)
        return None

    def x_window(self, pid):
        """The top-level X window of the process "pid", or None."""
        x = self.x()
        pid_atom = x.intern_atom("_NET_WM_PID")
        for window in x.screen().root.query_tree().children:
            try:
                prop = window.get_full_property(pid_atom, 0)
                attributes = window.get_attributes()
            except Exception:
                continue
            if (prop is not None and list(prop.value) == [pid] and
                    attributes.map_state != 0):
                return window
        return None

    def geometry(self, window):
        """x, y, width and height of "window" on the screen."""
        geometry = window.get_geometry()
        origin = window.translate_coords(self.x().screen().root, 0, 0)
        return -origin.x, -origin.y, geometry.width, geometry.height

    def press_key(self, window, name):
        """Gives "window" the keyboard focus and types the key "name"
        (an X keysym name, such as "Escape") through XTEST."""
        from Xlib import X, XK
        from Xlib.ext import xtest
        x = self.x()
        window.set_input_focus(X.RevertToParent, X.CurrentTime)
        keycode = x.keysym_to_keycode(XK.string_to_keysym(name))
        xtest.fake_input(x, X.KeyPress, keycode)
        xtest.fake_input(x, X.KeyRelease, keycode)
        x.sync()

    def close_window(self, window):
        """Asks "window" to close as a window manager does for its close
        box: a WM_DELETE_WINDOW message of the WM_PROTOCOLS."""
        from Xlib import X
        from Xlib.protocol import event
        x = self.x()
        message = event.ClientMessage(
            window=window, client_type=x.intern_atom("WM_PROTOCOLS"),
            data=(32, [x.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime,
                       0, 0, 0]))
        window.send_event(message, event_mask=X.NoEventMask)
        x.flush()


def descendants(accessible):
    """Every accessible below "accessible", depth first."""
    for child in accessible:
        if child is None:
            continue
        yield child
        yield from descendants(child)


def find_role(frame, role):
    """The first accessible of "role" in "frame", or None."""
    for accessible in descendants(frame):
        if accessible.getRole() == role:
            return accessible
    return None
