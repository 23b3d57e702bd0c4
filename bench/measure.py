"""Timing for the benchmarks: interleaved runs of the bootstrapper and its
reference, one row of medians per compared quantity, figures held against a
bound of their own, and the machine."""
import contextlib
import dataclasses
import fcntl
import os
import platform
import pty
import select
import shutil
import statistics
import struct
import subprocess
import tempfile
import termios
import threading
import time

# The install agents of the benchmarks write one byte to the named pipe this
# variable names as their only act, which marks the agent's start and exit
# for the clock. A pipe by name, since the agent inherits no descriptor but
# its standard streams.
SIGNAL_FIFO_VARIABLE = "BENCH_SIGNAL_FIFO"
SIGNALLING_LAUNCHER = 'printf x > "$BENCH_SIGNAL_FIFO"\n'
# A run whose agent has not signalled by then never will.
SIGNAL_TIMEOUT = 300


class BenchError(Exception):
    """A run that did not do what it was timed for."""


@dataclasses.dataclass
class Row:
    """One line of the table: the bootstrapper's samples against the
    reference's, in seconds and in the order they were taken, and the
    highest ratio that meets the target (None when the row only informs)."""
    name: str
    bootstrapper: list
    reference: list
    target: float = None

    def ratio(self):
        """The median ratio of each run to the reference run right after it:
        load that changes from one pair to the next cancels out."""
        return statistics.median(
            ours / theirs
            for ours, theirs in zip(self.bootstrapper, self.reference))

    def ratio_of_medians(self):
        return (statistics.median(self.bootstrapper) /
                statistics.median(self.reference))

    def missed(self):
        return self.target is not None and self.ratio() > self.target


def interleave(run_bootstrapper, run_reference, repetitions):
    """Calls the two alternately, one warm-up call each first, and returns
    the two lists of what the timed calls returned."""
    run_bootstrapper()
    run_reference()
    ours, theirs = [], []
    for _ in range(repetitions):
        ours.append(run_bootstrapper())
        theirs.append(run_reference())
    return ours, theirs


def cold_start(*outputs):
    """Prepares a run: removes "outputs" (files or folders a side wrote),
    then flushes the file system (`sync` and, as root, `echo 3 >
    /proc/sys/vm/drop_caches`), so that each run reads and writes as after
    a fresh start, whatever the run before it left in memory."""
    for path in outputs:
        if os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path, ignore_errors=True)
        elif os.path.lexists(path):
            os.remove(path)
    subprocess.run(["sync"], check=True)
    if os.geteuid() == 0:
        try:
            with open("/proc/sys/vm/drop_caches", "w") as caches:
                caches.write("3")
        except OSError:
            pass  # a container may not allow it; sync is done


@dataclasses.dataclass
class Figure:
    """A figure held against a bound of its own rather than a reference run:
    its samples in "unit", and the highest median that meets the target."""
    name: str
    samples: list
    unit: str
    target: float = None

    def value(self):
        return statistics.median(self.samples)

    def missed(self):
        return self.target is not None and self.value() > self.target


@dataclasses.dataclass
class Run:
    """What one run of a program that starts a signalling agent took."""
    agent: float     # seconds from the start to the agent's signal
    own_exit: float  # seconds from the start to the process's own exit
    drawn: int       # bytes the process wrote to its terminal, if it had one


def run_to_agent_signal(argv, cwd, env, terminal=False):
    """Starts "argv" and waits for it. It must exit with 0 after its agent
    signalled. Without "terminal", standard input is /dev/null and it must
    print nothing; with it, all three streams are a new pseudo-terminal."""
    with tempfile.TemporaryDirectory() as fifo_dir, \
            tempfile.TemporaryFile() as output, \
            (Terminal() if terminal else contextlib.nullcontext()) as screen:
        fifo = os.path.join(fifo_dir, "signal")
        os.mkfifo(fifo)
        # Read and write, so that opening it waits for no writer.
        signal_fd = os.open(fifo, os.O_RDWR)
        env = dict(env, **{SIGNAL_FIFO_VARIABLE: fifo})
        streams = (screen.streams() if terminal else
                   dict(stdin=subprocess.DEVNULL, stdout=output,
                        stderr=output))
        start = time.perf_counter()
        process = subprocess.Popen(argv, cwd=cwd, env=env, **streams)
        if terminal:
            screen.hand_over()
        try:
            readable, _, _ = select.select([signal_fd], [], [],
                                           SIGNAL_TIMEOUT)
            signalled = os.read(signal_fd, 1) if readable else b""
            agent = time.perf_counter()
        finally:
            os.close(signal_fd)
        process.wait()
        own_exit = time.perf_counter()
        output.seek(0)
        printed = output.read()
        drawn = screen.drawn() if terminal else 0
    if (process.returncode, signalled, printed) != (0, b"x", b""):
        raise BenchError(f"{argv[0]}: exit {process.returncode}, agent "
                         f"{'signalled' if signalled else 'never signalled'}"
                         f", output {printed!r}")
    return Run(agent - start, own_exit - start, drawn)


class Terminal:
    """A pseudo-terminal of 80 columns and 24 rows for one process. A thread
    reads and counts what is written to it until every process holding it
    has closed it, as a terminal emulator would."""

    def __init__(self):
        self._main, self._child = pty.openpty()
        fcntl.ioctl(self._child, termios.TIOCSWINSZ,
                    struct.pack("HHHH", 24, 80, 0, 0))
        self._count = 0
        self._reader = threading.Thread(target=self._drain, daemon=True)
        self._reader.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.hand_over()
        self._reader.join(timeout=10)
        os.close(self._main)

    def streams(self):
        """Popen's arguments that make the terminal the process's stdin,
        stdout and stderr."""
        return dict(stdin=self._child, stdout=self._child,
                    stderr=self._child)

    def hand_over(self):
        """Closes this side's copy of the process's end, once it started."""
        if self._child is not None:
            os.close(self._child)
            self._child = None

    def drawn(self):
        """The bytes written so far; all of them once the process and what
        it started have ended."""
        self._reader.join(timeout=10)
        return self._count

    def _drain(self):
        while True:
            try:
                data = os.read(self._main, 65536)
            except OSError:  # EIO: nobody holds the terminal any more
                return
            if not data:
                return
            self._count += len(data)


def machine():
    """CPUs, CPU model, kernel and load, for the report."""
    model = "unknown CPU"
    with open("/proc/cpuinfo") as cpuinfo:
        for line in cpuinfo:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    return (f"{os.cpu_count()} CPUs, {model}, {platform.system()} "
            f"{platform.release()}, load average {load_average()}")


def load_average():
    return " ".join(f"{value:.2f}" for value in os.getloadavg())
