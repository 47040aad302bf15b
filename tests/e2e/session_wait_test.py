"""The bind's wait for a server that is still starting."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import ALREADY_REPORTED_STATUS, FASTSLEEP, SandboxTest  # noqa: E402
from slapd import free_loopback_port  # noqa: E402

WAITING = "Waiting for LDAP server to start on secure port. This may take a few minutes..."


class AttemptLimit(SandboxTest):
    def test_server_that_stays_down_is_bound_sixty_times(self):
        port = free_loopback_port()
        self.kiv("simple_add", "-r", "o=corp", "-S", "127.0.0.1", "-l", str(port))
        self.kiv("set", "admin-fdn=cn=admin,o=corp")
        # The waits are made instant; the loop and its output stay real.
        env = self.env(PELK_PWD="secret", LD_PRELOAD=FASTSLEEP,
                       ASAN_OPTIONS="verify_asan_link_order=0:detect_leaks=0")
        result = self.kiv("-k", env=env)
        self.assertEqual(result.returncode, ALREADY_REPORTED_STATUS)
        self.assertEqual(result.stdout, WAITING + "." * 59 +
                         '\nCan\'t contact LDAP server "127.0.0.1" on port %d\n' % port)
        self.assertEqual(self.log_messages(), [])


if __name__ == "__main__":
    unittest.main()
