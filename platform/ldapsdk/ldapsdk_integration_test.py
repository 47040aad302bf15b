"""Runs the test binary given against slapd and ombrel-server over LDAPS."""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "lib"))
import ombrel  # noqa: E402
import slapd  # noqa: E402


def describe(server, der_path):
    with open(der_path, "wb") as f:
        f.write(server.cert_der_bytes)
    return "%d %s %s" % (server.ldaps_port, der_path, server.log_path)


with tempfile.TemporaryDirectory(prefix="ldapsdk_integration.") as tmp, \
        slapd.Slapd(os.path.join(tmp, "slapd"), log_level="stats") as directory, \
        ombrel.OmbrelServer(os.path.join(tmp, "ombrel")) as test_server:
    env = dict(os.environ, LDAPNOINIT="1",
               KIV_TEST_SLAPD=describe(directory, os.path.join(tmp, "slapd.der")),
               KIV_TEST_OMBREL=describe(test_server, os.path.join(tmp, "ombrel.der")))
    result = subprocess.run(sys.argv[1:2], env=env, capture_output=True, text=True, timeout=120)
print(result.stdout + result.stderr)
sys.exit(result.returncode or "SKIPPED" in result.stdout)
