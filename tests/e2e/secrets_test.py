"""Where the admin's and the proxy user's passwords go, as real processes
show it: the bytes on the wire where SSL cannot be had, the process list
while a bind waits, the environment of the daemon kivconfig starts, and
answers piped in one per line."""

import contextlib
import os
import socket
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import (ALREADY_REPORTED_STATUS, KIVCONFIG, STATE_DIR, STORE,  # noqa: E402
                     SandboxTest, with_fast_sleep)
from ombrel import DEFAULT_ADMIN, DEFAULT_PASSWORD, OmbrelServer, free_port  # noqa: E402

PROXY, PROXY_PASSWORD = "cn=proxy,o=corp", "Pr0xyPassw0rd"
JOIN = ["add", "-a", DEFAULT_ADMIN, "-r", "o=corp", "-w", "ou=ws,o=corp"]


class Recorder:
    """Relays loopback connections to a port and keeps every byte either way;
    it stops by itself after `life` seconds."""

    def __init__(self, port, life=60):
        self.target, self.chunks = port, []
        self.deadline = time.monotonic() + life
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.settimeout(0.1)
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        with self.listener:
            while time.monotonic() < self.deadline:
                with contextlib.suppress(socket.timeout):
                    client = self.listener.accept()[0]
                    server = socket.create_connection(("127.0.0.1", self.target))
                    back = threading.Thread(target=self.relay, args=(server, client), daemon=True)
                    back.start()
                    threading.Thread(target=self.relay, args=(client, server, back),
                                     daemon=True).start()

    def relay(self, source, sink, other=None):
        source.settimeout(max(0.1, self.deadline - time.monotonic()))
        with contextlib.suppress(OSError):
            while data := source.recv(65536):
                self.chunks.append(data)
                sink.sendall(data)
        with contextlib.suppress(OSError):
            sink.shutdown(socket.SHUT_WR)
        if other is not None:
            other.join()
            source.close()
            sink.close()

    def stop(self):
        self.deadline = 0

    def recorded(self):
        return b"".join(self.chunks)


class Secrets(SandboxTest):
    def setUp(self):
        super().setUp()
        self.server = OmbrelServer(os.path.join(self._state.name, "server")).start()
        self.addCleanup(self.server.stop)

    def test_no_password_on_the_wire_where_ssl_cannot_be_had(self):
        recorder = Recorder(self.server.ldap_port)
        self.addCleanup(recorder.stop)
        add = JOIN + ["-p", DEFAULT_PASSWORD, "-S", "127.0.0.1:%d" % recorder.port]
        store = ("base-name=o=corp\nadmin-fdn=%s\npreferred-server=127.0.0.1\nldap-port=%d\n"
                 "ldap-ssl-port=%d\n" % (DEFAULT_ADMIN, recorder.port, self.server.ldaps_port))
        unset = "rm -f " + STORE
        rows = [  # set-up, words, status, message, password seen, stored
            (unset, add + ["-l", "0"], ALREADY_REPORTED_STATUS,
             'SSL cannot be set up for the LDAP server "127.0.0.1" on port 0', False, False),
            (unset, add + ["-l", "65536"], ALREADY_REPORTED_STATUS,
             'SSL cannot be set up for the LDAP server "127.0.0.1" on port', False, False),
            (unset, add + ["-l", str(recorder.port)], ALREADY_REPORTED_STATUS,
             'The SSL negotiation with the LDAP server "127.0.0.1" on port %d failed: '
             % recorder.port, False, False),
            ("printf %%s '%s' > %s" % (store, STORE), ["rm"], ALREADY_REPORTED_STATUS,
             'The stored certificate %s/.127.0.0.1.der of the LDAP server "127.0.0.1" cannot be '
             "used: it does not exist. Run kivconfig -k to fetch it again." % STATE_DIR, False,
             True),
            # The recorder sees a password that is sent.
            (unset, add, 0, "Configure done successfully.", True, True),
        ]
        for setup, words, status, message, seen, stored in rows:
            with self.subTest(words[-1]):
                self.box.sh(setup)
                recorder.chunks.clear()
                began = time.monotonic()
                # Real pauses: a failure must not wait for the server to start.
                result = self.kiv(*words, real_sleep=status != 0, timeout=60)
                took = time.monotonic() - began
                self.assertEqual((result.returncode, DEFAULT_PASSWORD.encode() in
                                  recorder.recorded(), self.box.exists(STORE)),
                                 (status, seen, stored), result.stdout + result.stderr)
                self.assertIn(message, result.stdout)
                self.assertLess(took, 20)

    def test_no_password_in_the_process_list_while_the_bind_waits(self):
        server = OmbrelServer(os.path.join(self._state.name, "late"), extra_args=(
            "--start-delay", "60"), ports=(free_port(), free_port()))
        server.start(wait=False)
        self.addCleanup(server.stop)
        # The command line is read once kivconfig says it waits for the server.
        script = ('"$@" > /run/kiv.out & pid=$!; n=0; until grep -q Waiting /run/kiv.out || '
                  '[ $n -gt 300 ]; do n=$((n+1)); sleep 0.05; done; tr "\\0" " " < '
                  '/proc/$pid/cmdline; echo; kill $pid; wait $pid; cat /run/kiv.out')
        result = self.box.sh(script, KIVCONFIG, *JOIN, "-p", DEFAULT_PASSWORD, "-S",
                             "127.0.0.1:%d" % server.ldap_port, "-y", PROXY, "-d",
                             PROXY_PASSWORD, timeout=60)
        shown, output = result.stdout.split("\n", 1)
        self.assertIn("Waiting for LDAP server", output)
        self.assertIn(" -y %s -d " % PROXY, shown)
        for secret in (DEFAULT_PASSWORD, PROXY_PASSWORD):
            self.assertNotIn(secret, shown)

    def test_passwords_from_the_environment_stay_out_of_the_daemon_environment(self):
        env = with_fast_sleep(self.env(PELK_PWD=DEFAULT_PASSWORD, PELK_PROXY_PWD=PROXY_PASSWORD,
                                       KIV_MARK="kept"))
        result = self.box.sh('"$@"; s=$?; tr "\\0" "\\n" < /proc/$(cat '
                             '/var/run/velmar-pelk/kivcd.pid)/environ; exit $s', KIVCONFIG, *JOIN,
                             "-S", "127.0.0.1:%d" % self.server.ldap_port, "-y", PROXY, env=env)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        lines = result.stdout.splitlines()
        self.assertIn("KIV_MARK=kept", lines)
        self.assertEqual([line for line in lines if line.startswith("PELK_")], [])
        self.assertIn(("proxy-user-pwd", PROXY_PASSWORD), self.store())

    def test_answers_piped_one_per_line(self):
        rows = [  # answers, status, what it prints last, bound
            ("o=corp\nou=ws,o=corp\n\n", ALREADY_REPORTED_STATUS,
             "An empty password is not accepted: give the admin's password\n", False),
            ("o=corp\nou=ws,o=corp\n%s\n" % DEFAULT_PASSWORD, 0,
             "Configure done successfully.\n", True),
        ]
        for answers, status, last, bound in rows:
            with self.subTest(bound=bound):
                binds = self.server.log_text().count(" bind ")
                result = self.kiv("add", "-a", DEFAULT_ADMIN, "-S", "127.0.0.1:%d" %
                                  self.server.ldap_port, input=answers, env=self.env(PELK_PWD=None))
                self.assertEqual((result.returncode, self.server.log_text().count(" bind ") >
                                  binds), (status, bound), result.stdout + result.stderr)
                self.assertTrue(result.stdout.endswith(last), result.stdout)
        self.assertIn(("base-name", "o=corp"), self.store())


if __name__ == "__main__":
    unittest.main()
