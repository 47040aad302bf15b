"""rm as real processes show it: the last hosts of one context leaving at the
same moment, an /etc that cannot be cleaned, the longest host name, and a
server that stops answering."""

import concurrent.futures
import os
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import (ALREADY_REPORTED_STATUS, KIVCONFIG, Sandbox, SandboxTest,  # noqa: E402
                     with_fast_sleep)
from ombrel import DEFAULT_ADMIN, DEFAULT_PASSWORD, OmbrelServer  # noqa: E402

LONGEST_NAME = ("h64-" + "0123456789" * 7)[:64]  # the system's limit


class Removal(SandboxTest):
    def setUp(self):
        super().setUp()
        self.server = OmbrelServer(os.path.join(self._state.name, "server")).start()
        self.addCleanup(self.server.stop)
        self.fast = with_fast_sleep(self.env(PELK_PWD=DEFAULT_PASSWORD))

    def join(self, box, *ssl):
        result = box.run([KIVCONFIG, "add", "-a", DEFAULT_ADMIN, "-r", "o=corp", "-w",
                          "ou=ws,o=corp", "-S", "127.0.0.1:%d" % self.server.ldap_port, *ssl],
                         env=self.fast)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def host_objects(self):
        """The DNs of the Workstation and Config objects in the directory."""
        return [line for line in self.server.dump().splitlines()
                if line.startswith("dn: cn=UNIX Workstation - ") or
                line.startswith("dn: cn=UNIX Config,")]

    def test_the_last_hosts_of_a_context_leave_at_once(self):
        barrier = os.path.join(self._state.name, "go")
        # Each host waits in its sandbox until all are ready, then runs rm.
        script = ('touch "$1.$2"; n=0; while [ ! -e "$1" ] && [ $n -lt 1200 ]; do n=$((n+1)); '
                  'sleep 0.05; done; exec "$3" rm')
        with concurrent.futures.ThreadPoolExecutor(20) as pool:
            for count, rounds in [(2, 10), (5, 10), (20, 1)]:
                boxes = [Sandbox(os.path.join(self._state.name, "%d-%d" % (count, i)),
                                 hostname="host%d" % i) for i in range(count)]
                for done in range(rounds):
                    with self.subTest(hosts=count, round=done):
                        for box in boxes:
                            self.join(box)
                        ready = ["%s.%d" % (barrier, i) for i in range(count)]
                        removals = [pool.submit(box.sh, script, barrier, i, KIVCONFIG,
                                                env=self.fast) for i, box in enumerate(boxes)]
                        while not all(map(os.path.exists, ready)) and not any(
                                removal.done() for removal in removals):
                            time.sleep(0.02)
                        open(barrier, "w").close()
                        results = [removal.result() for removal in removals]
                        for path in ready + [barrier]:
                            os.remove(path)
                        self.assertEqual([r.returncode for r in results], [0] * count,
                                         [r.stdout + r.stderr for r in results])
                        self.assertEqual(self.host_objects(), [])

    def test_rm_with_the_longest_name_or_a_read_only_etc(self):
        rows = [  # host name, sandbox options, status, what rm prints last
            (LONGEST_NAME, {}, 0, "Deconfigure done successfully.\n"),
            ("kivhost", {"readonly_etc": True}, ALREADY_REPORTED_STATUS,
             "Unable to remove /etc/kiv.conf: Read-only file system\n"),
        ]
        for name, options, status, last in rows:
            with self.subTest(name):
                box = Sandbox(os.path.join(self._state.name, name), hostname=name)
                self.join(box)
                self.assertIn("dn: cn=UNIX Workstation - %s,ou=ws,o=corp" % name,
                              self.host_objects())
                result = box.run([KIVCONFIG, "rm"], env=self.fast, **options)
                self.assertEqual(result.returncode, status, result.stdout + result.stderr)
                self.assertTrue(result.stdout.endswith(last), result.stdout)
                self.assertEqual(self.host_objects(), [])

    def test_a_server_that_stops_answering_ends_the_ssl_negotiation(self):
        self.join(self.box, "-l", str(self.server.ldaps_port))
        self.server.process.send_signal(signal.SIGSTOP)
        self.addCleanup(self.server.process.send_signal, signal.SIGCONT)
        began = time.monotonic()
        result = self.kiv("-k", env=self.fast, timeout=120)
        self.assertLess(time.monotonic() - began, 45)
        self.assertEqual(result.returncode, ALREADY_REPORTED_STATUS, result.stderr)
        self.assertTrue(result.stdout.endswith(
            'The SSL negotiation with the LDAP server "127.0.0.1" on port %d failed: TLS '
            "handshake failed: The operation timed out\n" % self.server.ldaps_port),
            result.stdout)


if __name__ == "__main__":
    unittest.main()
