"""Timing for the benchmarks: interleaved runs of the bootstrapper and its
reference, one row of medians per compared quantity, and the machine."""
import dataclasses
import os
import platform
import statistics
import subprocess
import time

# The install agents of the benchmarks write one byte to this descriptor as
# their last act, which marks the agent's exit for the clock.
SIGNAL_FD_VARIABLE = "BENCH_SIGNAL_FD"
SIGNALLING_LAUNCHER = 'printf x >&"$BENCH_SIGNAL_FD"\n'


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


def time_until_agent_exit(argv, cwd, env):
    """Starts "argv" and waits for it. Returns the seconds from the start to
    the signal of the agent's exit, and to the process's own exit. The
    process must exit with 0 and print nothing."""
    signal_read, signal_write = os.pipe()
    env = dict(env, **{SIGNAL_FD_VARIABLE: str(signal_write)})
    start = time.perf_counter()
    process = subprocess.Popen(argv, cwd=cwd, env=env,
                               pass_fds=(signal_write,),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    os.close(signal_write)
    with open(signal_read, "rb", buffering=0) as signal:
        signalled = signal.read(1)
        agent_exit = time.perf_counter()
    output, errors = process.communicate()
    own_exit = time.perf_counter()
    if (process.returncode, signalled, output, errors) != (0, b"x", b"", b""):
        raise BenchError(f"{argv[0]}: exit {process.returncode}, agent "
                         f"{'signalled' if signalled else 'never signalled'}"
                         f", output {output + errors!r}")
    return agent_exit - start, own_exit - start


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
