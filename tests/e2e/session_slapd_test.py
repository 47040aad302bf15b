"""The directory session and -k against Debian's slapd, a peer no one here
wrote: trust on first use, the stored certificate, and the bind's answers."""

import hashlib
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import (ALREADY_REPORTED_STATUS, PTY_RUN, DIRECTORY_PROBE,  # noqa: E402
                     SandboxTest)
from sandbox import KIVCONFIG  # noqa: E402
from slapd import Slapd  # noqa: E402

CERT_FILE = "/var/lib/velmar-pelk/.127.0.0.1.der"
ADMIN = "cn=admin,o=corp"
STORED_LINE = "SHA-256 fingerprint of the stored certificate: %s\n"


def fingerprint(der):
    digest = hashlib.sha256(der).hexdigest().upper()
    return ":".join(digest[i:i + 2] for i in range(0, len(digest), 2))


class SlapdTest(SandboxTest):
    """A sandbox configured by simple_add for a slapd with LDAPS."""

    def setUp(self):
        super().setUp()
        self._slapd_dir = tempfile.TemporaryDirectory(prefix="kiv-slapd.")
        self.addCleanup(self._slapd_dir.cleanup)
        self.slapd = Slapd(self._slapd_dir.name)
        self.slapd.start()
        self.addCleanup(self.slapd.stop)
        result = self.kiv("simple_add", "-r", "o=corp", "-S",
                          "127.0.0.1:%d" % self.slapd.ldap_port, "-l",
                          str(self.slapd.ldaps_port))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.kiv("set", "admin-fdn=" + ADMIN)

    def fetch(self, password="secret"):
        return self.kiv("-k", env=self.env(PELK_PWD=password))

    def read_bytes(self, path):
        result = self.box.run(["od", "-An", "-v", "-tx1", path])
        if result.returncode != 0:
            return None
        return bytes.fromhex(result.stdout.replace("\n", " "))

    def probe(self, mode, *extra, ldap_port=None, password="secret"):
        port = ldap_port if ldap_port is not None else self.slapd.ldap_port
        return self.box.run([DIRECTORY_PROBE, *extra, str(mode), "127.0.0.1", str(port), ADMIN],
                            env=self.env(PELK_PWD=password))


class FetchCertificate(SlapdTest):
    def test_first_use_stores_the_servers_certificate(self):
        result = self.fetch()
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(result.stdout, "\nCerticate file updated sucessfully\n" + STORED_LINE
                         % fingerprint(self.slapd.cert_der_bytes))
        self.assertEqual(self.read_bytes(CERT_FILE), self.slapd.cert_der_bytes)
        mode = self.box.run(["stat", "-c", "%a %F", CERT_FILE]).stdout.strip()
        self.assertEqual(mode, "644 regular file")
        log = self.log_messages()
        self.assertIn("Certicate file got sucessfully", log)
        self.assertTrue(any(fingerprint(self.slapd.cert_der_bytes) in line for line in log), log)
        self.assertNotIn("secret", self.box.read("/var/lib/velmar-pelk/kiv.log"))

    def test_second_fetch_replaces_the_file_and_names_a_change(self):
        self.assertEqual(self.fetch().returncode, 0)
        old = fingerprint(self.slapd.cert_der_bytes)
        self.assertTrue(self.fetch().stdout.endswith("sucessfully\n" + STORED_LINE % old))
        self.slapd.restart(new_certificate=True)
        new = fingerprint(self.slapd.cert_der_bytes)
        self.assertNotEqual(new, old)
        result = self.fetch()
        self.assertEqual(result.returncode, 0)
        self.assertTrue(result.stdout.endswith(
            'sucessfully\nThe certificate of the LDAP server "127.0.0.1" has changed; the stored '
            "certificate was replaced.\nOld SHA-256 fingerprint: %s\nNew SHA-256 fingerprint: "
            "%s\n" % (old, new)), result.stdout)
        self.assertEqual(self.read_bytes(CERT_FILE), self.slapd.cert_der_bytes)
        self.assertIn("The stored certificate of the LDAP server 127.0.0.1 was replaced by a "
                      "different one: old SHA-256 fingerprint %s, new %s" % (old, new),
                      self.log_messages())

    def test_planted_link_is_replaced_not_followed(self):
        self.box.write("/etc/victim", "keep me\n")
        self.box.run(["ln", "-s", "/etc/victim", CERT_FILE])
        self.assertEqual(self.fetch().returncode, 0)
        self.assertEqual(self.box.read("/etc/victim"), "keep me\n")
        self.assertEqual(self.read_bytes(CERT_FILE), self.slapd.cert_der_bytes)

    def test_failed_write_keeps_the_old_file(self):
        self.assertEqual(self.fetch().returncode, 0)
        old = self.read_bytes(CERT_FILE)
        self.slapd.restart(new_certificate=True)
        # The state directory on a tiny file system that is already full.
        script = ('set -e; rm -rf /run/stash; cp -a /var/lib/velmar-pelk /run/stash; '
                  'mount -t tmpfs -o size=64k tmpfs /var/lib/velmar-pelk; '
                  'cp -a /run/stash/. /var/lib/velmar-pelk/; '
                  'dd if=/dev/zero of=/var/lib/velmar-pelk/filler bs=1k 2>/dev/null || true; '
                  'set +e; "$0" -k; status=$?; od -An -v -tx1 %s; exit $status' % CERT_FILE)
        result = self.box.run(["sh", "-c", script, KIVCONFIG], env=self.env(PELK_PWD="secret"))
        self.assertEqual(result.returncode, 121, result.stderr)  # -6023
        self.assertIn("Error writing into certificiate file\n", result.stdout)
        dumped = result.stdout.split("Error writing into certificiate file\n", 1)[1]
        self.assertEqual(bytes.fromhex(dumped.replace("\n", " ")), old)

    def test_bind_failures_are_reported_once(self):
        wrong = self.fetch(password="wrong")
        self.assertEqual(wrong.returncode, ALREADY_REPORTED_STATUS)
        self.assertEqual(wrong.stdout, "\nError:%s Invalid credentials\n" % ADMIN)
        self.kiv("set", "admin-fdn=not a dn")
        bad_dn = self.fetch()
        self.assertEqual(bad_dn.returncode, ALREADY_REPORTED_STATUS)
        self.assertEqual(bad_dn.stdout, '\nInvalid LDAP DN syntax "not a dn"\n')
        self.assertFalse(self.box.exists(CERT_FILE))

    def test_password_prompt_on_the_terminal(self):
        for pelk_pwd in ("", None):
            with self.subTest(PELK_PWD=pelk_pwd):
                result = self.box.run(["/usr/bin/python3", PTY_RUN, "secret", "--", KIVCONFIG,
                                       "-k"], env=self.env(PELK_PWD=pelk_pwd))
                self.assertEqual(result.returncode, 0, result.stdout)
                self.assertIn("Enter the admin(%s) password:" % ADMIN, result.stdout)
                self.assertNotIn("secret", result.stdout)
                self.assertIn("Certicate file updated sucessfully", result.stdout)


class StoredCertificate(SlapdTest):
    """Connections that take their SSL choice from the store, as rm does."""

    def setUp(self):
        super().setUp()
        self.assertEqual(self.fetch().returncode, 0)

    def test_stored_certificate_turns_ssl_on(self):
        # No clear-text port answers: only SSL can succeed.
        result = self.probe(0, ldap_port=1)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("connected", result.stdout)
        self.assertNotIn("Configuring to non SSL connection", self.log_messages())

    def test_server_with_another_certificate_is_refused_at_once(self):
        stored = self.read_bytes(CERT_FILE)
        self.slapd.restart(new_certificate=True)
        result = self.probe(0)
        self.assertEqual(result.returncode, ALREADY_REPORTED_STATUS)
        self.assertEqual(result.stdout,
                         'The certificate of the LDAP server "127.0.0.1" does not match the '
                         'stored certificate %s\n' % CERT_FILE)
        self.assertNotIn("Waiting", result.stdout)
        self.assertEqual(self.read_bytes(CERT_FILE), stored)


class NotConfigured(SandboxTest):
    def test_no_store(self):
        result = self.kiv("-k")
        self.assertEqual(result.returncode, 140)  # -6004
        self.assertEqual(result.stdout, "Velmar Account Management is not configured\n")
        self.assertEqual(self.log_messages(), ["Velmar Account Management is not configured"])

    def test_no_ssl_port(self):
        self.kiv("simple_add", "-r", "o=corp", "-S", "127.0.0.1")
        result = self.kiv("-k")
        self.assertEqual(result.returncode, 120)  # -6024
        self.assertEqual(result.stdout, "Error reading the LDAP SSL port\n")


if __name__ == "__main__":
    unittest.main()
