"""The download window on a desktop: the real GTK module beside the built
executable, on a private Xvfb display, downloading from the local HTTPS
server at a throttled rate. The window is read from outside, through the
accessibility tree (AT-SPI) and a screenshot, and closed as a user would:
its Cancel button or the window manager's close message. Skipped only
where Xvfb cannot be started."""
import os
import re
import subprocess
import time
import unittest

from desktop_fixture import use_system_python

use_system_python()

import pyatspi  # noqa: E402

import bundle_fixture  # noqa: E402
from bundle_fixture import (GTK_MODULE, RECORDING_LAUNCHER,  # noqa: E402
                            Bundle, make_agent_zip)
from desktop_fixture import (Desktop, DesktopUnavailable,  # noqa: E402
                             find_role)
from screenshot import Image, capture  # noqa: E402
from server_fixture import HttpsServer  # noqa: E402

PADDING = 2 * 1000 * 1000
SPLASH_COLOR = (30, 144, 255)
FAILURE_TEXT = ("Error during the download process.\n"
                "See your system log for more information.")
RUN_TIMEOUT = 60
# The agent notes the windows on the screen when it starts.
LAUNCHER = ('xwininfo -root -children -display "$DISPLAY" '
            '> "$AGENT_RECORD.windows" 2>&1\n' + RECORDING_LAUNCHER)
DESKTOP = None


def setUpModule():
    global DESKTOP
    try:
        DESKTOP = Desktop()
    except DesktopUnavailable as error:
        raise unittest.SkipTest(str(error))


def tearDownModule():
    if DESKTOP is not None:
        DESKTOP.stop()


def wait_for(condition, timeout=20, what="the condition"):
    give_up = time.monotonic() + timeout
    while time.monotonic() < give_up:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


class GtkWindowCase(unittest.TestCase):

    def setUp(self):
        self.bundle = Bundle()
        self.addCleanup(self.bundle.__exit__)
        Image(160, 90, bytes(SPLASH_COLOR) * (160 * 90)).write_png(
            os.path.join(self.bundle.resources, "splash.png"))
        served = os.path.join(self.bundle.root, "served.zip")
        make_agent_zip(served, launcher=LAUNCHER, padding=PADDING)
        self.server = HttpsServer(served)
        self.addCleanup(self.server.stop)

    def start(self, rate=None, **env):
        """Starts a run on the desktop; the server sends at "rate" bytes a
        second."""
        self.server.set_control(**({"rate": rate} if rate else {}))
        environment = dict(self.server.environment(), **DESKTOP.environment())
        environment.update(env)
        return self.bundle.start(env=environment)

    def window(self, process):
        """The run's frame in the accessibility tree, and its parts."""
        frame = DESKTOP.find_frame(process.pid)
        self.assertIsNotNone(frame, "no window appeared")
        self.assertEqual(frame.name, "X")  # the bundle's name
        return (frame, find_role(frame, pyatspi.ROLE_LABEL),
                find_role(frame, pyatspi.ROLE_PROGRESS_BAR),
                find_role(frame, pyatspi.ROLE_PUSH_BUTTON))

    def assert_failed_run(self, result):
        self.assertEqual(result.returncode, 255)
        self.assertTrue(result.stderr.endswith(b"Installation failed.\n"),
                        result.stderr)
        self.assertEqual(self.bundle.agent_starts(), 0)
        self.assertEqual(os.listdir(self.bundle.tmpdir), [])

    def test_window_shows_progress_then_starts_the_agent(self):
        process = self.start(rate=700 * 1000)
        frame, label, bar, button = self.window(process)
        # The splash is described as the product.
        self.assertEqual(find_role(frame, pyatspi.ROLE_IMAGE).name, "X")
        self.assertEqual(button.name, "Cancel")
        # The bar is named after the status.
        wait_for(lambda: label.name.startswith("Downloading") and
                 bar.name == label.name, what="the bar's name")

        # The percentage rises and the bar follows it.
        seen = []
        while len(seen) < 4:
            text = label.name
            match = re.fullmatch(r"Downloading +(\d+)%", text)
            if match and int(match.group(1)) < 90:
                value = bar.queryValue().currentValue
                percent = int(match.group(1))
                if not seen or percent > seen[-1][0]:
                    seen.append((percent, value))
            elif match:
                break
            time.sleep(0.2)
        self.assertGreaterEqual(len(seen), 3, seen)
        for percent, value in seen:
            self.assertAlmostEqual(value * 100, percent, delta=6)

        # The window's pixels are on the screen, the splash among them.
        window = DESKTOP.x_window(process.pid)
        x, y, width, height = DESKTOP.geometry(window)
        shot = capture(DESKTOP.display).crop(x, y, width, height)
        self.assertEqual(shot.pixel(width // 2, height // 4), SPLASH_COLOR)

        result = self.bundle.finish(process, RUN_TIMEOUT)
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        self.assertEqual(self.bundle.agent_starts(), 1)
        with open(self.bundle.record + ".windows") as windows:
            self.assertNotIn('"X"', windows.read(),
                             "the window was gone before the agent started")

    def test_cancel_its_keys_and_the_close_box_end_the_run(self):
        for way in ("Cancel", "Return", "Escape", "close box"):
            with self.subTest(way):
                process = self.start(rate=200 * 1000)
                frame, label, bar, button = self.window(process)
                wait_for(lambda: label.name.startswith("Downloading"),
                         what="the download")
                window = DESKTOP.x_window(process.pid)
                if way == "Cancel":
                    button.queryAction().doAction(0)
                elif way == "close box":
                    DESKTOP.close_window(window)
                else:
                    DESKTOP.press_key(window, way)
                self.assert_failed_run(self.bundle.finish(process, 10))

    def test_a_failed_download_stays_in_red_until_closed(self):
        self.server.set_control(status=500)
        # The download tries again after short pauses before it fails.
        environment = dict(self.server.environment(), **DESKTOP.environment(),
                           __QZ_BOOTSTRAP_RETRY_WAIT_SCALE__="0.01")
        process = self.bundle.start(env=environment)
        frame, label, bar, button = self.window(process)
        wait_for(lambda: label.name == FAILURE_TEXT, what="the failure")
        self.assertEqual(bar.queryValue().currentValue, 1.0)
        # Announced as an alert, with what to do under it; Cancel works.
        alert = find_role(frame, pyatspi.ROLE_ALERT)
        self.assertEqual(alert.name if alert else None, FAILURE_TEXT)
        self.assertEqual(find_role(frame, pyatspi.ROLE_LABEL).name,
                         "The server could not send the installer (HTTP "
                         "500); try again later.")
        self.assertTrue(button.getState().contains(pyatspi.STATE_SENSITIVE))
        time.sleep(0.5)
        self.assertIsNone(process.poll(), "the window waits to be closed")
        window = DESKTOP.x_window(process.pid)
        x, y, width, height = DESKTOP.geometry(window)
        shot = capture(DESKTOP.display).crop(x, y, width, height)
        reds = [(px, py) for py in range(height) for px in range(width)
                if shot.pixel(px, py)[0] > 200 and
                max(shot.pixel(px, py)[1:]) < 60]
        self.assertGreater(len(reds), 50, "the failure is shown in red")

        DESKTOP.close_window(window)
        result = self.bundle.finish(process, 10)
        self.assert_failed_run(result)
        self.assertIn(b"Download failed! Error - ", result.stderr)

    def test_cancel_and_return_work_after_an_unzip_failure(self):
        with open(os.path.join(self.bundle.root, "served.zip"), "wb") as f:
            f.write(b"no zip" * 1000)
        process = self.start()
        frame, label, bar, button = self.window(process)
        # Shown in red: an alert.
        wait_for(lambda: getattr(find_role(frame, pyatspi.ROLE_ALERT), "name",
                                 None) == "Failed to unzip the installer.",
                 what="the unzip failure")
        self.assertTrue(button.getState().contains(pyatspi.STATE_SENSITIVE))
        DESKTOP.press_key(DESKTOP.x_window(process.pid), "Return")
        self.assert_failed_run(self.bundle.finish(process, 10))

    def test_the_window_fits_the_screen_at_any_scale(self):
        for scale in ("2", "3"):
            with self.subTest(scale=scale):
                process = self.start(rate=200 * 1000, GDK_SCALE=scale)
                self.window(process)
                window = DESKTOP.x_window(process.pid)
                x, y, width, height = DESKTOP.geometry(window)
                self.assertGreaterEqual(min(x, y), 0)
                self.assertLessEqual(x + width, 1024)
                self.assertLessEqual(y + height, 768)
                self.assertGreater(width, 800, "drawn at a larger scale")
                DESKTOP.close_window(window)
                self.assert_failed_run(self.bundle.finish(process, 10))

    def test_without_a_usable_display_the_run_falls_back(self):
        # Each case: the environment of the run and whether the fallback is
        # logged (it is when a window was tried and could not be shown).
        desktop = DESKTOP.environment()
        no_display = {"LSAN_OPTIONS": desktop["LSAN_OPTIONS"]}
        cases = [
            ("no display", no_display, False),
            ("missing display", dict(desktop, DISPLAY=":4242"), True),
            ("headless forced", dict(desktop, QZ_INSTALLER_FRONT_END=
                                     "headless"), False),
            ("window forced, no display", dict(no_display,
                                               QZ_INSTALLER_FRONT_END="gui"),
             True),
            ("module missing", desktop, True),
        ]
        for name, env, logged in cases:
            with self.subTest(name):
                if name == "module missing":
                    os.remove(os.path.join(os.path.dirname(
                        self.bundle.executable), GTK_MODULE))
                self.bundle.forget_agent()
                process = self.bundle.start(
                    env=dict(self.server.environment(), **env))
                result = self.bundle.finish(process, RUN_TIMEOUT)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(self.bundle.agent_starts(), 1)
                self.assertEqual(result.stderr.count(b"\n"), int(logged),
                                 result.stderr)
                self.assertIsNone(DESKTOP.x_window(process.pid))

    def test_the_executable_links_no_gui_library(self):
        dynamic = subprocess.run(["readelf", "-d", bundle_fixture.BOOTSTRAPPER],
                                 check=True, stdout=subprocess.PIPE,
                                 text=True).stdout
        needed = re.findall(r"\(NEEDED\).*\[(.*)\]", dynamic)
        self.assertTrue(needed)
        for library in needed:
            self.assertNotRegex(library, r"gtk|gdk|gobject|glib|X11|xcb|"
                                         r"wayland|cairo|pango|atk")


if __name__ == "__main__":
    bundle_fixture.main()
