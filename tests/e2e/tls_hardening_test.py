"""The admin's password never goes out in clear text where SSL was expected: a
stored certificate that cannot serve, and a -k whose SSL set-up fails, end
the command before any bind, as the server's request log shows; server names
are checked where the user gives them, before anything is stored."""

import os
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import (ALREADY_REPORTED_STATUS, DIRECTORY_PROBE, STORE,  # noqa: E402
                     SandboxTest)
from ombrel import DEFAULT_ADMIN, DEFAULT_PASSWORD, OmbrelServer  # noqa: E402
from sandbox import INIT_LOG, KIVCONFIG  # noqa: E402

CERT = "/var/lib/velmar-pelk/.127.0.0.1.der"
SAVED_CERT = "/var/lib/saved.der"
SAVED_STORE = "/var/lib/saved-kiv.conf"
UNUSABLE = ('The stored certificate %s of the LDAP server "127.0.0.1" cannot be used: %%s. '
            "Run kivconfig -k to fetch it again." % CERT)
NO_CERTIFICATE = ("No certificate was received from the LDAP server; the certificate file was "
                  "not updated.")


class TlsHardeningTest(SandboxTest):
    def setUp(self):
        super().setUp()
        server_dir = tempfile.TemporaryDirectory(prefix="kiv-ombrel.")
        self.addCleanup(server_dir.cleanup)
        self.server = OmbrelServer(server_dir.name).start()
        self.addCleanup(self.server.stop)
        result = self.kiv("simple_add", "-r", "o=corp", "-S",
                          "127.0.0.1:%d" % self.server.ldap_port, "-l", str(self.server.ldaps_port))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.kiv("set", "admin-fdn=" + DEFAULT_ADMIN)
        self.box.run(["sh", "-c", "cp %s %s; : > %s" % (STORE, SAVED_STORE, INIT_LOG)])

    def binds(self, expected=None):
        """The binds the server has logged, waiting a moment for `expected`."""
        deadline = time.monotonic() + 5
        while True:
            count = self.server.log_text().count("ombrel-server: bind ")
            if expected is None or count >= expected or time.monotonic() > deadline:
                return count
            time.sleep(0.05)

    def run_after(self, setup, *command):
        """Restores the store, runs the setup script, then the command."""
        script = 'cp %s %s; rm -rf %s; %s; exec "$@"' % (SAVED_STORE, STORE, CERT, setup)
        return self.box.run(["sh", "-c", script, "sh", *command], timeout=30,
                            env=self.env(PELK_PWD=DEFAULT_PASSWORD))

    def test_unusable_stored_certificate_ends_rm_before_any_bind(self):
        fetched = self.kiv("-k", env=self.env(PELK_PWD=DEFAULT_PASSWORD))
        self.assertEqual(fetched.returncode, 0, fetched.stdout)
        self.box.run(["cp", CERT, SAVED_CERT])
        cases = [
            ("mkdir " + CERT, "it is a directory"),
            ("mkfifo " + CERT, "it is a named pipe"),
            (": > " + CERT, "it is empty"),
            ("head -c 300 %s > %s" % (SAVED_CERT, CERT), "it is not a DER certificate"),
            ("cat %s %s > %s" % (SAVED_CERT, SAVED_CERT, CERT), "it is not a DER certificate"),
            ("ln -s /etc/passwd " + CERT, "its link target is not a DER certificate"),
            ("ln -s /nowhere " + CERT,
             "its link target cannot be reached (No such file or directory)"),
            ("rm -f /var/lib/p; mkfifo /var/lib/p; ln -s /var/lib/p " + CERT,
             "its link target is a named pipe"),
            ("cp %s %s; sed -i s/^ldap-ssl-port=.*/ldap-ssl-port=0/ %s" % (SAVED_CERT, CERT, STORE),
             "ldapssl_init failed for port 0"),
            # A link to a good certificate serves, over SSL.
            ("ln -s %s %s" % (SAVED_CERT, CERT), None),
        ]
        # The fetch bound once.
        binds = self.binds(expected=1)
        for setup, problem in cases:
            with self.subTest(setup=setup):
                result = self.run_after(setup, DIRECTORY_PROBE, "0", "127.0.0.1",
                                        str(self.server.ldap_port), DEFAULT_ADMIN)
                if problem is None:
                    self.assertEqual(result.returncode, 0, result.stdout)
                    self.assertEqual(self.binds(expected=binds + 1), binds + 1)
                    binds += 1
                    continue
                message = UNUSABLE % problem
                self.assertEqual(result.returncode, ALREADY_REPORTED_STATUS, result.stdout)
                self.assertTrue(result.stdout.endswith(message + "\n"), result.stdout)
                self.assertEqual(self.log_messages()[-1], message)
                self.assertEqual(self.binds(), binds)
        self.assertNotIn("Configuring to non SSL connection", self.log_messages())

    def test_fetch_whose_ssl_set_up_fails_binds_nowhere(self):
        # The SSL layer refuses a list of servers, libldap takes its first
        # "host:port" for a clear connection: that would bind on the server's
        # LDAP port.
        for key, value in (("preferred-server", "127.0.0.1:%d x" % self.server.ldap_port),
                           ("ldap-ssl-port", "65536")):
            with self.subTest(value=value):
                result = self.run_after('sed -i "s/^%s=.*/%s=%s/" %s' % (key, key, value, STORE),
                                        KIVCONFIG, "-k")
                self.assertEqual(result.returncode, ALREADY_REPORTED_STATUS, result.stdout)
                self.assertEqual(result.stdout,
                                 "LDAP SSL initialization error\n" + NO_CERTIFICATE + "\n")
                self.assertEqual(self.log_messages()[-1], NO_CERTIFICATE)
                self.assertNotIn("Configuring to non SSL connection", self.log_messages())
        self.assertEqual(self.binds(), 0)

    def test_server_names_are_checked_where_the_user_gives_them(self):
        names_for_add = ["add", "-r", "o=corp", "-w", "ou=ws,o=corp"]
        cases = [
            (["simple_add", "-r", "o=corp", "-S", "dir example:389"], None, 1, "dir example"),
            (names_for_add + ["-S", "dir\x01x"], None, 1, "dir\\x01x"),
            (["rm", "-S", ":389"], None, 1, ""),
            (["set", "num-threads=7", "preferred-server=a b"], None, ALREADY_REPORTED_STATUS,
             "a b"),
            (["set", "preferred-server=ok.example", "preferred-server=\tx"], None,
             ALREADY_REPORTED_STATUS, "\\x09x"),
            (names_for_add, "bad\x7fname\n", ALREADY_REPORTED_STATUS, "bad\\x7Fname"),
        ]
        before = self.box.read(STORE)
        for args, typed, status, shown in cases:
            with self.subTest(args=args):
                result = self.kiv(*args, input=typed, env=self.env(PELK_PWD=DEFAULT_PASSWORD))
                self.assertEqual(result.returncode, status, result.stdout)
                message = ('The LDAP server name "%s" is not valid: give a host name, an IPv4 '
                           "address or an IPv6 address in brackets" % shown)
                self.assertTrue(result.stdout.endswith(message + "\n"), result.stdout)
                self.assertEqual(self.log_messages()[-1], message)
                self.assertEqual(self.box.read(STORE), before)
        self.assertEqual(self.box.init_calls(), [])
        self.assertEqual(self.binds(), 0)
        accepted = self.kiv("simple_add", "-r", "o=corp", "-S", "[::1]:1389")
        self.assertEqual(accepted.returncode, 0, accepted.stdout)
        store = self.store()
        self.assertIn(("preferred-server", "[::1]"), store)
        self.assertIn(("ldap-port", "1389"), store)


if __name__ == "__main__":
    unittest.main()
