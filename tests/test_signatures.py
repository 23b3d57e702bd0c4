"""Signed install agents: with a minisign public key as InstallAgent.pub in
the bundle's resources, a downloaded archive is unpacked and started only
when the signature served at its URL plus ".minisig" is valid for it. Keys
and signatures are made by the real minisign tool."""
import os
import shutil
import subprocess
import tempfile
import unittest

import bundle_fixture
from bundle_fixture import snapshot
from test_download_route import DownloadRouteCase

REFUSED = "Signature check failed! Error - "


def minisign(*args):
    subprocess.run(["minisign", *args], check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class SignedCase(DownloadRouteCase):
    """Key pairs made by minisign, "<name>.pub" and "<name>.key" in
    self.keys for each of KEY_NAMES, without passwords."""
    KEY_NAMES = ("vendor", "other")

    @classmethod
    def setUpClass(cls):
        cls.keys = tempfile.mkdtemp(prefix="keys")
        for name in cls.KEY_NAMES:
            minisign("-G", "-W", "-p", os.path.join(cls.keys, name + ".pub"),
                     "-s", os.path.join(cls.keys, name + ".key"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.keys)


class SignatureTest(SignedCase):

    def setUp(self):
        super().setUp()
        self.key = os.path.join(self.bundle.resources, "InstallAgent.pub")
        shutil.copy(os.path.join(self.keys, "vendor.pub"), self.key)
        self.signature = self.archive + ".minisig"
        self.server.set_control(etag='"v1"', minisig=self.signature)

    def sign(self, key="vendor", *options):
        minisign("-S", *options, "-s", os.path.join(self.keys, key + ".key"),
                 "-m", self.archive, "-x", self.signature)

    def write_signature(self, content):
        with open(self.signature, "wb" if isinstance(content, bytes)
                  else "w") as f:
            f.write(content)

    def minisig_requests(self):
        return self.server.stats()["minisig_requests"]

    def test_prehashed_and_legacy_signatures_start_the_agent(self):
        for options in ((), ("-l",)):
            with self.subTest(options=options):
                shutil.rmtree(self.bundle.cache_dir(), ignore_errors=True)
                self.sign("vendor", *options)
                requests = self.minisig_requests()
                self.assert_started(self.run_bootstrapper("-v"), ["-v"])
                self.assertEqual(requests + 1, self.minisig_requests())

    def test_the_signature_is_retried_like_the_archive(self):
        # The second request, the signature's, finds the server busy once.
        self.sign()
        self.server.set_control(etag='"v1"', minisig=self.signature, faults=[
            {}, {"status": 503, "retry_after": "0"}])
        self.assert_started(self.run_bootstrapper())
        self.assertEqual(2, self.minisig_requests())

    def test_a_bad_signature_leaves_the_cache_as_it_was(self):
        # Given a cached agent, a new version whose signature does not hold
        # is refused: nothing unpacked, the cache and its stamp as they were.
        self.sign()
        self.assert_started(self.run_bootstrapper())
        cached = snapshot(self.bundle.cache_dir())
        self.server.set_control(etag='"v2"', minisig=self.signature)
        new_archive = self.agent_archive(seed=2)

        def other_key():
            self.sign("other")

        def archive_changed():
            self.sign()
            changed = bytearray(new_archive)
            changed[len(changed) // 2] ^= 1
            self.serve(bytes(changed))

        def comment_changed():
            self.sign()
            with open(self.signature) as f:
                lines = f.read().splitlines()
            lines[2] += " and more"
            self.write_signature("\n".join(lines) + "\n")

        def truncated():
            self.sign()
            with open(self.signature) as f:
                self.write_signature(f.read()[:150])

        cases = {  # name: (preparation, the reason logged)
            "other key": (other_key, "made with another key"),
            "archive changed by one byte": (archive_changed,
                                            "archive does not match"),
            "trusted comment altered": (comment_changed,
                                        "trusted comment does not match"),
            "missing": (lambda: os.remove(self.signature), "status 404"),
            "empty": (lambda: self.write_signature(""), "Not a minisign"),
            "truncated": (truncated, "Not a minisign"),
            "garbage": (lambda: self.write_signature(os.urandom(300)),
                        "Not a minisign"),
        }
        for name, (prepare, reason) in cases.items():
            with self.subTest(name):
                self.serve(new_archive)
                prepare()
                result = self.run_bootstrapper()
                self.assert_failed(result, REFUSED)
                self.assertIn(reason, result.stderr.decode())
                self.assertIn(self.server.url() + ".minisig",
                              result.stderr.decode())
                self.assertEqual(cached, snapshot(self.bundle.cache_dir()))

    def test_a_missing_signature_does_not_wait_for_the_archive(self):
        # The signature is asked for beside a slow archive (10 s at this
        # rate); its 404 ends the run with most of the archive unsent.
        self.server.set_control(etag='"v1"', minisig=self.signature,
                                rate=300_000)
        self.assert_failed(self.run_bootstrapper(), REFUSED + "The server "
                           "answered with HTTP status 404.")
        self.assertLess(self.server.stats()["body_bytes"],
                        os.path.getsize(self.archive) // 2)

    def test_only_a_download_with_a_key_asks_for_a_signature(self):
        # A cache hit asks for none: its agent was verified with this key
        # before it was stored.
        self.sign()
        self.assert_started(self.run_bootstrapper())
        self.assert_started(self.run_bootstrapper())
        stats = self.server.stats()
        self.assertEqual((1, 1), (stats["statuses"].get("304"),
                                  stats["minisig_requests"]))

        # Without a key nothing asks for a signature.
        os.remove(self.key)
        self.server.set_control(etag='"v2"', minisig=self.signature)
        self.assert_started(self.run_bootstrapper())
        self.assertEqual(1, self.minisig_requests())

    def test_a_signed_bundle_starts_only_agents_verified_with_its_key(self):
        # Given a cache that a keyless bundle filled, under the server's
        # ETag, with an archive whose signature does not hold.
        os.rename(self.key, self.key + ".away")
        self.sign()
        self.serve(self.agent_archive(seed=2))
        self.assert_started(self.run_bootstrapper())
        unverified = self.bundle.agent_dir()
        os.rename(self.key + ".away", self.key)

        # A 304 the server sends unasked does not start it, nor does the
        # matching ETag: the archive is fetched again and refused.
        self.server.set_control(etag='"v1"', minisig=self.signature,
                                faults=[{"status": 304}])
        self.assert_failed(self.run_bootstrapper(), "Download failed!")
        self.server.set_control(etag='"v1"', minisig=self.signature)
        self.assert_failed(self.run_bootstrapper(), REFUSED)
        self.assertEqual(unverified, self.bundle.agent_dir())

        # The genuine archive under the same ETag replaces it; then the
        # vendor's new key trusts nothing the old one verified.
        for key in ("vendor", "other"):
            with self.subTest(key=key):
                shutil.copy(os.path.join(self.keys, key + ".pub"), self.key)
                self.serve(self.agent_archive(seed=1))
                self.sign(key)
                before = self.server.stats()
                self.assert_started(self.run_bootstrapper())
                self.assertNotEqual(unverified, self.bundle.agent_dir())
                unverified = self.bundle.agent_dir()
                after = self.server.stats()
                self.assertEqual(before["minisig_requests"] + 1,
                                 after["minisig_requests"])
                self.assertEqual(before["statuses"].get("304"),
                                 after["statuses"].get("304"), "not offered")
                # Verified with this key, it is a cache hit from now on.
                self.assert_started(self.run_bootstrapper())
                self.assertEqual(after["minisig_requests"],
                                 self.minisig_requests())

    def test_minisign_files_with_an_extra_line_end_are_accepted(self):
        # As an editor or an upload tool leaves them; minisign takes them.
        self.sign()
        for end in (b"\n", b"\r\n"):
            with self.subTest(end=end):
                shutil.rmtree(self.bundle.cache_dir(), ignore_errors=True)
                for path in (self.key, self.signature):
                    with open(path, "ab") as f:
                        f.write(end)
                minisign("-V", "-p", self.key, "-m", self.archive,
                         "-x", self.signature)
                self.assert_started(self.run_bootstrapper())

    def test_a_key_that_does_not_parse_fails_before_any_download(self):
        with open(self.key, "w") as f:
            f.write("untrusted comment: a key\nnot base64\n")
        result = self.run_bootstrapper()
        self.assert_failed(result, "Cannot use the public key " + self.key)
        self.assertEqual(0, self.server.stats()["requests"])


if __name__ == "__main__":
    bundle_fixture.main()
