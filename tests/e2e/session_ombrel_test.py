"""The directory session against the test directory server: LDAPS and clear
text, a server that refuses clear-text binds, and one that is still starting."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import ALREADY_REPORTED_STATUS, DIRECTORY_PROBE, SandboxTest  # noqa: E402
from ombrel import DEFAULT_ADMIN, DEFAULT_PASSWORD, OmbrelServer, free_port  # noqa: E402

CERT_FILE = "/var/lib/velmar-pelk/.127.0.0.1.der"
WAITING = "Waiting for LDAP server to start on secure port. This may take a few minutes..."


class StartingServer(OmbrelServer):
    """A server whose ports are chosen up front, so that a client can try
    them before they open."""

    def __init__(self, tmpdir, delay_seconds):
        super().__init__(tmpdir, extra_args=("--start-delay", str(delay_seconds)))
        self.fixed_ports = (free_port(), free_port())

    def command(self):
        args = super().command()
        args[args.index("--ldap-port") + 1] = str(self.fixed_ports[0])
        args[args.index("--ldaps-port") + 1] = str(self.fixed_ports[1])
        return args


class OmbrelSessionTest(SandboxTest):
    server_args = ()

    def setUp(self):
        super().setUp()
        self._server_dir = tempfile.TemporaryDirectory(prefix="kiv-ombrel.")
        self.addCleanup(self._server_dir.cleanup)

    def start_server(self, server=None):
        self.server = server or OmbrelServer(self._server_dir.name, extra_args=self.server_args)
        self.server.start(wait=False)
        self.addCleanup(self.server.stop)

    def configure(self, ldap_port, ldaps_port):
        result = self.kiv("simple_add", "-r", "o=corp", "-S", "127.0.0.1:%d" % ldap_port, "-l",
                          str(ldaps_port))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.kiv("set", "admin-fdn=" + DEFAULT_ADMIN)

    def probe(self, *extra):
        return self.box.run([DIRECTORY_PROBE, *extra, "1", "127.0.0.1",
                             str(self.server.ldap_port), DEFAULT_ADMIN],
                            env=self.env(PELK_PWD=DEFAULT_PASSWORD))


class SecureAndClear(OmbrelSessionTest):
    def test_fetch_over_ldaps_and_bind_in_clear(self):
        self.start_server()
        self.server.wait_ready()
        self.configure(self.server.ldap_port, self.server.ldaps_port)
        fetched = self.kiv("-k", env=self.env(PELK_PWD=DEFAULT_PASSWORD))
        self.assertEqual(fetched.returncode, 0, fetched.stdout)
        certificate = self.box.run(["od", "-An", "-v", "-tx1", CERT_FILE]).stdout
        self.assertEqual(bytes.fromhex(certificate.replace("\n", " ")),
                         self.server.cert_der_bytes)
        clear = self.probe()
        self.assertEqual(clear.returncode, 0, clear.stdout)
        self.assertIn("Configuring to non SSL connection", self.log_messages())


class ClearTextRefused(OmbrelSessionTest):
    server_args = ("--refuse-cleartext-bind",)

    def test_clear_bind_is_refused_and_ssl_accepted(self):
        self.start_server()
        self.server.wait_ready()
        refused = self.probe()
        self.assertEqual(refused.returncode, ALREADY_REPORTED_STATUS)
        self.assertEqual(refused.stdout,
                         "\nThe LDAP server currently does not allow cleartext passwords.\n"
                         "Please enable \"Allow cleartext password\" for the LDAP Group object "
                         "or use SSL connection and retry the operation.\n")
        secure = self.probe("-l", str(self.server.ldaps_port))
        self.assertEqual(secure.returncode, 0, secure.stdout)


class ServerStillStarting(OmbrelSessionTest):
    def test_bind_waits_for_the_port_to_open(self):
        server = StartingServer(self._server_dir.name, delay_seconds=7)
        self.configure(*server.fixed_ports)
        self.start_server(server)
        result = self.kiv("-k", env=self.env(PELK_PWD=DEFAULT_PASSWORD))
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertTrue(result.stdout.startswith(
            WAITING + ".\nCerticate file updated sucessfully\nSHA-256 fingerprint"),
            result.stdout)


if __name__ == "__main__":
    unittest.main()
