"""The bootstrapper started from a bundle that ships its install agent."""
import os
import unittest

import bundle_fixture
from bundle_fixture import Bundle

# Names and arguments that a shell would expand, split or run if they were
# not quoted. Injected commands would leave a file "pwned" in the root.
HOSTILE_NAME = ("it's $(touch pwned) `touch pwned`; \"q\" \\ a\tb\nc" +
                os.fsdecode(b"\xff"))
HOSTILE_ARGS = ["plain", "two words", "", "$(touch pwned)", "`touch pwned`",
                "a;touch pwned", "it's", 'say "hi"', "back\\slash\\",
                "line\nbreak", "\t", "*", "$HOME", "~",
                os.fsdecode(b"caf\xc3\xa9 \xff\xfe")]


class ShippedRouteTest(unittest.TestCase):

    def test_agent_receives_the_bundle_archive_and_the_users_arguments(self):
        cases = [("folder", "tmp", []),
                 ("folder", "tmp", HOSTILE_ARGS),
                 (HOSTILE_NAME, "tmp " + HOSTILE_NAME, HOSTILE_ARGS)]
        for folder, tmp, args in cases:
            with self.subTest(folder=folder, args=args), \
                    Bundle(folder=folder, tmp=tmp) as bundle:
                bundle.ship_agent()
                result = bundle.run(*args)
                self.assertEqual((0, b"", b""), (result.returncode,
                                                 result.stdout, result.stderr))
                call = bundle.agent_call()
                self.assertTrue(bundle.started_in_working_dir(call[0]),
                                call[0])
                self.assertEqual(
                    ["-installbundle",
                     os.path.join(bundle.resources, "bundle.zip"), *args],
                    call[1:])
                self.assertEqual([], os.listdir(bundle.tmpdir))
                self.assertFalse(os.path.exists(bundle.cache_dir()))
                self.assertEqual([], bundle.stray_files())

    def test_agent_failure_is_the_agents_own_business(self):
        with Bundle() as bundle:
            bundle.ship_agent()
            result = bundle.run("-x", env={"AGENT_EXIT": "7"})
            self.assertEqual((0, b"", b""), (result.returncode,
                                             result.stdout, result.stderr))
            self.assertEqual([], os.listdir(bundle.tmpdir))

    def test_versioned_archive_is_taken_when_the_default_is_missing(self):
        with Bundle() as bundle:
            bundle.ship_agent("InstallAgent_2.1.zip")
            result = bundle.run("-v")
            self.assertEqual(0, result.returncode, result.stderr)
            self.assertEqual("-v", bundle.agent_call()[-1])

    def test_corrupt_archive_fails_without_a_download(self):
        with Bundle() as bundle:
            with open(os.path.join(bundle.resources, "InstallAgent.zip"),
                      "w") as archive:
                archive.write("not a zip archive")
            result = bundle.run()
            self.assertEqual(255, result.returncode)
            # The unzip tool's own complaint comes first.
            self.assertEqual(["Failed to unzip the install agent",
                              "Failed to initialize the install agent.",
                              "Installation failed."],
                             result.stderr.decode().splitlines()[-3:])
            self.assertIsNone(bundle.agent_call())
            self.assertFalse(os.path.exists(bundle.cache_dir()))
            self.assertEqual([], os.listdir(bundle.tmpdir))

    def test_unittest_variable_unpacks_beside_the_bundle(self):
        with Bundle() as bundle:
            bundle.ship_agent()
            result = bundle.run(
                env={"__QZ_BOOTSTRAP_INSTALLER_UNITTEST__": ""})
            self.assertEqual((0, b""), (result.returncode, result.stderr))
            launcher = os.path.join(bundle.folder, "install")
            self.assertEqual(launcher, bundle.agent_call()[0])
            self.assertTrue(os.path.exists(launcher))
            self.assertEqual([], os.listdir(bundle.tmpdir))

    def test_without_a_shipped_archive_the_cache_route_is_taken(self):
        # Nothing listens on port 9: the download fails and is logged, after
        # its retries (shortened here), with what to do.
        with Bundle() as bundle:
            result = bundle.run(env={
                "QZ_INTERNAL_INSTALL_AGENT_URL": "https://127.0.0.1:9/none",
                "__QZ_BOOTSTRAP_RETRY_WAIT_SCALE__": "0.01"})
            lines = result.stderr.decode().splitlines()
            self.assertEqual(255, result.returncode)
            self.assertEqual(3, len(lines), lines)
            self.assertTrue(lines[0].startswith("Download failed! Error - "))
            self.assertTrue(lines[0].endswith(" https://127.0.0.1:9/none"))
            self.assertEqual(["Check the internet connection.",
                              "Installation failed."], lines[1:])
            self.assertEqual([], bundle.cache_entries())
            self.assertEqual([], os.listdir(bundle.tmpdir))


if __name__ == "__main__":
    bundle_fixture.main()
