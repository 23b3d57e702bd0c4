"""Benchmark of the shipped route: the bootstrapper in a bundle that ships a
10 MB agent archive of about 1,000 files, against unzipping that archive
into a fresh directory and starting the agent with the shell by hand."""
import os
import random
import shutil
import tempfile

from bundle_fixture import Bundle, make_zip
from measure import (SIGNALLING_LAUNCHER, Row, interleave,
                     run_to_agent_signal)

ARCHIVE_BYTES = 10 * 1000 * 1000
FILES = 1000
ARGUMENTS = ["--verbose", "My Documents/report.txt"]

# What a user would type instead: unpack, start the agent the same way, and
# remove the directory as the bootstrapper does after the agent has exited.
REFERENCE = ('archive=$1 dir=$2 bundle=$3; shift 3; '
             'unzip -qq -o "$archive" -d "$dir" && '
             'sh "$dir/install" -installbundle "$bundle" "$@"; '
             'rm -rf "$dir"')


def agent_files(rng):
    """The launcher and FILES - 1 files in 20 folders: two in three of
    random bytes, the rest of text that deflates about threefold, sized so
    that the archive takes about ARCHIVE_BYTES."""
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz")
                   for _ in range(rng.randint(2, 9))) for _ in range(400)]
    mean_size = ARCHIVE_BYTES // (FILES - 1)
    files = {"install": SIGNALLING_LAUNCHER}
    for index in range(FILES - 1):
        size = rng.randint(mean_size // 4, mean_size * 7 // 4)
        if index % 3 == 2:
            text = b" ".join(rng.choice(words) for _ in range(size // 2))
            content = text[:size * 3]
        else:
            content = rng.randbytes(size)
        files[f"lib{index % 20}/part{index}.bin"] = content
    return files


def shipped_route(repetitions):
    with Bundle() as bundle:
        archive = os.path.join(bundle.resources, "InstallAgent.zip")
        files = agent_files(random.Random(1))
        make_zip(archive, files)
        bundle_zip = os.path.join(bundle.resources, "bundle.zip")
        print(f"shipped route: {os.path.getsize(archive) / 1e6:.1f} MB "
              f"archive, {len(files)} files, "
              f"{sum(map(len, files.values())) / 1e6:.1f} MB unpacked")

        def run_bootstrapper():
            return run_to_agent_signal([bundle.executable, *ARGUMENTS],
                                       bundle.root, bundle.environment())

        def run_reference():
            directory = tempfile.mkdtemp(prefix="qz", dir=bundle.tmpdir)
            try:
                return run_to_agent_signal(
                    ["sh", "-c", REFERENCE, "sh", archive, directory,
                     bundle_zip, *ARGUMENTS],
                    bundle.root, bundle.environment())
            finally:
                shutil.rmtree(directory, ignore_errors=True)

        ours, theirs = interleave(run_bootstrapper, run_reference,
                                  repetitions)
    return [Row("shipped route, start to agent exit",
                [run.agent for run in ours], [run.agent for run in theirs],
                target=1.10),
            Row("shipped route, start to own exit",
                [run.own_exit for run in ours],
                [run.own_exit for run in theirs])]
