"""Runs ldapsdk_integration_test (the C++ test binary given as the only
argument) against a private slapd and the test directory server, both with
LDAPS, each logging the requests it gets, and a listener that never answers."""

import os
import socket
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "lib"))
import ombrel  # noqa: E402
import slapd  # noqa: E402

TEST_BINARY = None


def server_value(ldaps_port, ldap_port, der, log_path, der_path):
    with open(der_path, "wb") as f:
        f.write(der)
    return "%d %d %s %s" % (ldaps_port, ldap_port, der_path, log_path)


class SdkAgainstServersTest(unittest.TestCase):
    def test_sdk_calls(self):
        with tempfile.TemporaryDirectory(prefix="ldapsdk_integration.") as tmp, \
                slapd.Slapd(os.path.join(tmp, "slapd"), log_level="stats") as server, \
                ombrel.OmbrelServer(os.path.join(tmp, "ombrel")) as test_server, \
                socket.create_server(("127.0.0.1", 0)) as silent:
            env = dict(os.environ, LDAPNOINIT="1", KIV_TEST_LDAP_PORT=str(server.ldap_port),
                       KIV_TEST_DOWN_PORT=str(slapd.free_loopback_port()),
                       KIV_TEST_SILENT_PORT=str(silent.getsockname()[1]),
                       KIV_TEST_SLAPD=server_value(
                           server.ldaps_port, server.ldap_port, server.cert_der_bytes,
                           server.log_path, os.path.join(tmp, "slapd.der")),
                       KIV_TEST_OMBREL=server_value(
                           test_server.ldaps_port, test_server.ldap_port,
                           test_server.cert_der_bytes, test_server.log_path,
                           os.path.join(tmp, "ombrel.der")))
            result = subprocess.run([TEST_BINARY], env=env, capture_output=True, text=True,
                                    timeout=120)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertNotIn("SKIPPED", result.stdout)


if __name__ == "__main__":
    TEST_BINARY = os.path.abspath(sys.argv.pop(1))
    unittest.main()
