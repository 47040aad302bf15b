"""TLS, certificate pinning and the bind's wait, against real servers: Debian's
slapd for what a peer nobody here wrote answers, the bundled server where
its request log shows that no bind was made."""

import hashlib
import os
import re
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import ALREADY_REPORTED_STATUS, STATE_DIR, STORE, SandboxTest  # noqa: E402
from ombrel import DEFAULT_ADMIN, DEFAULT_PASSWORD, OmbrelServer, free_port  # noqa: E402
from slapd import Slapd  # noqa: E402

CERT = STATE_DIR + "/.127.0.0.1.der"
FETCHED = "Certicate file updated sucessfully\n"
UNUSABLE = ('The stored certificate %s of the LDAP server "127.0.0.1" cannot be used: %%s. '
            "Run kivconfig -k to fetch it again.\n" % CERT)


def fingerprint(der):
    return ":".join(re.findall("..", hashlib.sha256(der).hexdigest().upper()))


class TlsTest(SandboxTest):
    def configure(self, ldap_port, ldaps_port):
        """The store of a configured host, written as the admin would."""
        text = ("base-name=o=corp\nadmin-fdn=%s\npreferred-server=127.0.0.1\nldap-port=%d\n"
                "ldap-ssl-port=%d\n" % (DEFAULT_ADMIN, ldap_port, ldaps_port))
        self.box.sh('printf %s "$1" > ' + STORE, text)

    def kiv_bound(self, *words, **options):
        return self.kiv(*words, env=self.env(PELK_PWD=DEFAULT_PASSWORD), **options)

    def certificate(self):
        return bytes.fromhex(self.box.run(["od", "-An", "-v", "-tx1", CERT]).stdout)


class AgainstSlapd(TlsTest):
    def test_tls_bind_clear_text_refused_and_a_changed_certificate(self):
        slapd = Slapd(os.path.join(self._state.name, "slapd"), refuse_clear_bind=True)
        self.addCleanup(slapd.stop)
        self.configure(slapd.ldap_port, slapd.ldaps_port)
        old = fingerprint(slapd.cert_der_bytes)
        result = self.kiv_bound("-k")
        self.assertEqual((result.returncode, result.stdout), (0, "\n" + FETCHED + (
            "SHA-256 fingerprint of the stored certificate: %s\n" % old)))
        self.assertEqual(self.certificate(), slapd.cert_der_bytes)

        result = self.kiv_bound("add", "-a", DEFAULT_ADMIN, "-r", "o=corp", "-w", "ou=ws,o=corp",
                                "-S", "127.0.0.1:%d" % slapd.ldap_port)
        self.assertEqual((result.returncode, result.stdout), (ALREADY_REPORTED_STATUS, (
            "\nThe LDAP server currently does not allow cleartext passwords.\nPlease enable "
            "\"Allow cleartext password\" for the LDAP Group object or use SSL connection and "
            "retry the operation.\n")))

        slapd.restart()
        new = fingerprint(slapd.cert_der_bytes)
        result = self.kiv_bound("rm")
        self.assertEqual((result.returncode, result.stdout), (ALREADY_REPORTED_STATUS, (
            'The certificate of the LDAP server "127.0.0.1" does not match the stored '
            "certificate %s\n" % CERT)))
        self.assertEqual(fingerprint(self.certificate()), old)
        result = self.kiv_bound("-k")
        self.assertEqual((result.returncode, result.stdout), (0, "\n" + FETCHED + (
            'The certificate of the LDAP server "127.0.0.1" has changed; the stored certificate '
            "was replaced.\nOld SHA-256 fingerprint: %s\nNew SHA-256 fingerprint: %s\n")
            % (old, new)))


class AgainstTheBundledServer(TlsTest):
    def test_no_bind_where_ssl_cannot_be_had(self):
        server = OmbrelServer(os.path.join(self._state.name, "server")).start()
        self.addCleanup(server.stop)
        self.configure(server.ldap_port, server.ldaps_port)
        rows = [  # set-up, command, what it prints last
            (": > " + CERT, "rm", UNUSABLE % "it is empty"),
            ("echo no certificate > " + CERT, "rm", UNUSABLE % "it is not a DER certificate"),
            ("mkdir " + CERT, "rm", UNUSABLE % "it is a directory"),
            # A port whose low 16 bits are 0: the SSL handle cannot be made.
            ("sed -i 's/^ldap-ssl-port=.*/ldap-ssl-port=65536/' %s" % STORE, "-k",
             'LDAP SSL initialization error\nSSL cannot be set up for the LDAP server '
             '"127.0.0.1" on port 0: ldapssl_init failed for port 0\n'),
        ]
        for setup, command, message in rows:
            with self.subTest(setup):
                self.box.sh("rm -rf %s && %s" % (CERT, setup))
                result = self.kiv_bound(command)
                self.assertEqual(result.returncode, ALREADY_REPORTED_STATUS, result.stdout)
                self.assertTrue(result.stdout.endswith(message), result.stdout)
        self.assertNotIn("Configuring to non SSL connection", self.log_messages())
        self.assertNotIn(" bind ", server.log_text())

    def test_bind_waits_with_real_pauses_for_a_server_still_starting(self):
        server = OmbrelServer(os.path.join(self._state.name, "server"),
                              ports=(free_port(), free_port()), extra_args=("--start-delay", "3"))
        self.configure(server.ldap_port, server.ldaps_port)
        server.start(wait=False)
        self.addCleanup(server.stop)
        result = self.kiv_bound("-k", real_sleep=True)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertTrue(result.stdout.startswith(
            "Waiting for LDAP server to start on secure port. This may take a few minutes...\n"
            + FETCHED), result.stdout)


if __name__ == "__main__":
    unittest.main()
