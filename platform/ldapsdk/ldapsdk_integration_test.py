"""Runs ldapsdk_integration_test (the C++ test binary given as the only
argument) against a private slapd."""

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
    def test_sdk_calls(self):
        with tempfile.TemporaryDirectory(prefix="ldapsdk_integration.") as tmp, \
                slapd.Slapd(os.path.join(tmp, "slapd"), tls=False) as server:
            env = dict(os.environ, LDAPNOINIT="1", KIV_TEST_LDAP_PORT=str(server.ldap_port),
                       KIV_TEST_DOWN_PORT=str(slapd.free_loopback_port()))
            result = subprocess.run([TEST_BINARY], env=env, capture_output=True, text=True,
                                    timeout=120)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertNotIn("SKIPPED", result.stdout)


if __name__ == "__main__":
    TEST_BINARY = os.path.abspath(sys.argv.pop(1))
    unittest.main()
