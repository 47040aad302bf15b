"""Runs ldapsdk_integration_test (the C++ test binary given as the only
argument) against a private slapd, and checks the slapd helper itself."""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "lib"))
import slapd  # noqa: E402

TEST_BINARY = None


class SdkAgainstSlapdTest(unittest.TestCase):
    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="ldapsdk_integration.")
        self.addCleanup(self._tmp.cleanup)
        self.server = slapd.Slapd(os.path.join(self._tmp.name, "slapd"))
        self.addCleanup(self.server.stop)

    def run_binary(self, other_cert, gtest_filter="*", read_ldap_conf=False):
        env = dict(os.environ,
                   KIV_TEST_LDAP_PORT=str(self.server.ldap_port),
                   KIV_TEST_LDAPS_PORT=str(self.server.ldaps_port),
                   KIV_TEST_CERT_DER=self.server.cert_der_path,
                   KIV_TEST_OTHER_CERT_DER=other_cert,
                   KIV_TEST_DOWN_PORT=str(slapd.free_loopback_port()))
        env.pop("LDAPNOINIT", None)
        if not read_ldap_conf:
            env["LDAPNOINIT"] = "1"
        result = subprocess.run([TEST_BINARY, "--gtest_filter=" + gtest_filter],
                                env=env, capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertNotIn("SKIPPED", result.stdout)

    def test_sdk_calls(self):
        _, _, other = slapd.make_certificate(self._tmp.name, "other")
        self.run_binary(other)

    def test_sdk_calls_with_the_machine_ldap_conf(self):
        # Handles carry their own TLS settings, whatever ldap.conf demands.
        _, _, other = slapd.make_certificate(self._tmp.name, "other")
        self.run_binary(other, "SdkAgainstSlapd.*", read_ldap_conf=True)

    def test_restart_with_new_certificate(self):
        old_cert_path = self.server.cert_der_path
        old_bytes = self.server.cert_der_bytes
        self.server.restart(new_certificate=True)
        self.assertNotEqual(self.server.cert_der_bytes, old_bytes)
        self.run_binary(old_cert_path, "SdkAgainstSlapd.TrustFile*")

    def test_helper_serves_base_entries_and_stops(self):
        found = subprocess.run(
            ["ldapsearch", "-x", "-LLL", "-H", self.server.ldap_uri, "-b", "o=corp", "dn"],
            capture_output=True, text=True, timeout=30)
        self.assertEqual(found.returncode, 0, found.stderr)
        self.assertIn("dn: cn=admin,o=corp", found.stdout)
        process = self.server.process
        self.server.stop()
        self.assertIsNotNone(process.poll())
        down = subprocess.run(
            ["ldapsearch", "-x", "-H", self.server.ldap_uri, "-b", "o=corp"],
            capture_output=True, text=True, timeout=30)
        self.assertEqual(down.returncode, 255)


if __name__ == "__main__":
    TEST_BINARY = os.path.abspath(sys.argv.pop(1))
    unittest.main()
