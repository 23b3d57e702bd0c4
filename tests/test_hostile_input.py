"""Random byte strings as the user's arguments and inside the bundle and
TMPDIR paths, through the shipped route with the real unzip and /bin/sh: the
agent receives every string byte for byte and the shell runs nothing.

The strings come from a seeded generator; the seed is printed, and
HOSTILE_SEED=<seed> repeats a run.
"""
import os
import random
import sys
import unittest

import bundle_fixture
from bundle_fixture import Bundle

SEED = int(os.environ.get("HOSTILE_SEED") or random.randrange(2 ** 32))

ARGUMENT_RUNS = 20
ARGUMENTS_PER_RUN = 20
PATH_RUNS = 30
ARGUMENTS_PER_PATH_RUN = 4

# Each runs "touch CANARY" in the bootstrapper's folder, the root, if a shell
# interprets it.
INJECTIONS = [b"$(touch CANARY)", b"`touch CANARY`", b";touch CANARY",
              b"|touch CANARY", b"&touch CANARY", b"&&touch CANARY #",
              b"\ntouch CANARY\n", b"'$(touch CANARY)'", b'"`touch CANARY`"',
              b"'\\''$(touch CANARY)", b"\\$(touch CANARY)", b">CANARY",
              b"$(touch${IFS}CANARY)", b"')touch CANARY;('"]

# Bytes a shell treats specially somewhere, and bytes that are no UTF-8.
SPECIAL = b" \t\n\r'\"$`\\;|&<>()*?[]~#!{}=%^,:-"
NOT_UTF8 = bytes([0x80, 0xbf, 0xc0, 0xc3, 0xe2, 0xfe, 0xff])
PLAIN = b"abcHOMEPATH019_.-"


def hostile_bytes(rng, in_name=False):
    """A random string of any bytes but NUL, mostly special ones; with
    "in_name" one that can name a file: not empty, no "/", not "." or
    ".."."""
    if not in_name and rng.random() < 0.05:
        return b""
    text = b"-" if rng.random() < 0.2 else b""
    if rng.random() < 0.3:
        # A plain word with one special byte in it, as in "a$b" or "~x".
        word = bytes(rng.choice(PLAIN) for _ in range(rng.randint(1, 6)))
        cut = rng.randint(0, len(word))
        special = bytes([rng.choice(SPECIAL)])
        return text + word[:cut] + special + word[cut:]
    for _ in range(rng.randint(1, 12)):
        pick = rng.random()
        if pick < 0.2:
            text += rng.choice(INJECTIONS)
        elif pick < 0.6:
            text += bytes([rng.choice(SPECIAL)])
        elif pick < 0.7:
            text += bytes([rng.choice(NOT_UTF8)])
        else:
            text += bytes([rng.randint(1, 255)])
    if in_name:
        text = text.replace(b"/", b"_")[:200]
        if text in (b".", b".."):
            text += b"_"
    return text


class HostileInputTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        print(f"hostile input seed {SEED} (HOSTILE_SEED={SEED} repeats it)",
              file=sys.stderr)

    def assert_run_is_literal(self, rng, folder=b"folder", tmp=b"tmp",
                              count=ARGUMENTS_PER_RUN):
        args = [hostile_bytes(rng) for _ in range(count)]
        with Bundle(folder=folder, tmp=tmp) as bundle:
            context = f"seed {SEED}, folder {folder!r}, tmp {tmp!r}, " \
                      f"args {args!r}"
            bundle.ship_agent()
            result = bundle.run(*args)
            self.assertEqual((0, b"", b""), (result.returncode,
                                             result.stdout, result.stderr),
                             context)
            words = bundle.agent_words()
            self.assertIsNotNone(words, context)
            self.assertTrue(bundle.started_in_working_dir(words[0]), context)
            bundle_zip = os.path.join(bundle.resources, "bundle.zip")
            self.assertEqual(
                [b"-installbundle", os.fsencode(bundle_zip), *args],
                words[1:], context)
            self.assertEqual([], bundle.stray_files(), context)
            self.assertEqual([], os.listdir(bundle.tmpdir), context)

    def test_random_arguments_reach_the_agent_byte_for_byte(self):
        rng = random.Random(SEED)
        for _ in range(ARGUMENT_RUNS):
            self.assert_run_is_literal(rng)

    def test_random_bundle_and_tmpdir_paths_are_taken_literally(self):
        rng = random.Random(SEED + 1)
        for _ in range(PATH_RUNS):
            folder = hostile_bytes(rng, in_name=True)
            tmp = hostile_bytes(rng, in_name=True)
            if tmp == folder:
                tmp += b"_"
            self.assert_run_is_literal(rng, folder=folder, tmp=tmp,
                                       count=ARGUMENTS_PER_PATH_RUN)


if __name__ == "__main__":
    bundle_fixture.main()
