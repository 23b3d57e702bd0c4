"""Benchmark of the GTK window on a private Xvfb display: the download route
of a 200 MB archive shown in the window against the same run headless, the
same for a 1 KB archive (what the window's start costs), the CPU time of a
window that waits idle, and the peak resident set of both runs."""
import os
import subprocess
import tempfile
import time

from desktop_fixture import Desktop, DesktopUnavailable
from download_route import ARCHIVE_BYTES
from measure import Figure, Row, interleave
from peak_memory import TIME
from served_agent import ServedAgent, large_download_pairs

IDLE_SECONDS = 10
IDLE_CPU_LIMIT_MS = 20


def cpu_seconds(pid):
    """User and system time of the process "pid" so far."""
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def idle_window_cpu(served, desktop):
    """The CPU time a window takes over IDLE_SECONDS while it shows a failed
    download and waits to be closed."""
    served.server.set_control(status=500)
    # The download tries again after short pauses before it fails.
    env = dict(served.environment(), **desktop.environment(),
               __QZ_BOOTSTRAP_RETRY_WAIT_SCALE__="0.01")
    with subprocess.Popen([served.bundle.executable], cwd=served.bundle.root,
                          env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE) as process:
        process.stderr.readline()  # the failure's log line: the window is idle
        time.sleep(0.5)  # the last redraw
        before = cpu_seconds(process.pid)
        time.sleep(IDLE_SECONDS)
        used = cpu_seconds(process.pid) - before
        process.terminate()  # closes the window, as its close box would
        process.communicate()
    served.server.set_control()
    return used


def peak_megabytes(served, env):
    with tempfile.TemporaryDirectory() as scratch:
        report = os.path.join(scratch, "peak")
        served.run_bootstrapper(env=env,
                                wrapper=[TIME, "-f", "%M", "-o", report])
        with open(report) as kilobytes:
            return int(kilobytes.read()) * 1024 / 1e6


def gtk_window(repetitions):
    pairs = large_download_pairs(repetitions)
    try:
        desktop = Desktop()
    except DesktopUnavailable as error:
        print(f"GTK window skipped: {error}")
        return []
    with desktop:
        shown = desktop.environment()
        print(f"GTK window: {ARCHIVE_BYTES / 1e6:.0f} MB archive shown in "
              f"the window on Xvfb {desktop.display} against headless, "
              f"{pairs} runs each; 1 KB archive, {repetitions} runs each")
        with ServedAgent(ARCHIVE_BYTES) as served:
            ours, theirs = interleave(
                lambda: served.run_bootstrapper(env=shown),
                served.run_bootstrapper, pairs)
            idle = idle_window_cpu(served, desktop)
            runs = max(1, repetitions // 7)
            window_peaks = [peak_megabytes(served, shown)
                            for _ in range(runs)]
            headless_peaks = [peak_megabytes(served, {}) for _ in range(runs)]
        with ServedAgent(1000) as small:
            started, headless = interleave(
                lambda: small.run_bootstrapper(env=shown),
                small.run_bootstrapper, repetitions)
    return [Row("GTK window, window/headless",
                [run.agent for run in ours], [run.agent for run in theirs],
                target=1.05),
            Row("GTK window start, 1 KB archive",
                [run.agent for run in started],
                [run.agent for run in headless]),
            Figure(f"idle window CPU over {IDLE_SECONDS} s", [idle * 1000],
                   "ms", IDLE_CPU_LIMIT_MS),
            Figure("peak RSS, GTK window", window_peaks, "MB"),
            Figure("peak RSS, headless", headless_peaks, "MB")]
