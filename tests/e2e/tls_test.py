"""TLS, pinning and the waits; no password leaves where SSL was asked for."""

import contextlib
import re
import select
import signal
import socket
import threading
import time

from kivtest import ADMIN_PWD, CERT, JOIN, LOG, REPORTED, STORE, SandboxTest, fingerprint
from ombrel import DEFAULT_ADMIN, DEFAULT_PASSWORD, free_port
from slapd import Slapd

FETCHED = "\nCerticate file updated sucessfully\n"
UNUSABLE = ('The stored certificate %s of the LDAP server "127.0.0.1" cannot be used: %%s. '
            "Run kivconfig -k to fetch it again.\n" % CERT)
NO_SSL = 'SSL cannot be set up for the LDAP server "127.0.0.1" on port '


class Recorder:  # a relay to port that keeps every byte either way

    def __init__(self, port):
        self.target, self.recorded = port, bytearray()
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            client = self.listener.accept()[0]
            server = socket.create_connection(("127.0.0.1", self.target))
            threading.Thread(target=self.relay, args=(client, server), daemon=True).start()

    def relay(self, client, server):
        with client, server, contextlib.suppress(OSError):
            while True:
                source = select.select([client, server], [], [])[0][0]
                data = source.recv(65536)
                if not data:
                    return
                self.recorded += data
                (server if source is client else client).sendall(data)


class Tls(SandboxTest):
    with_server = True

    def test_no_password_goes_out_where_ssl_cannot_be_had(self):
        recorder = Recorder(self.server.ldap_port)
        add = JOIN + ["-p", DEFAULT_PASSWORD, "-S", "127.0.0.1:%d" % recorder.port]
        rows = [  # set-up of a stored host (None: none), words, status, the message ending it
            (None, add + ["-l", "0"], REPORTED, NO_SSL + "0: "),
            (None, add + ["-l", "65536"], REPORTED, NO_SSL),
            (None, add + ["-l", str(recorder.port)], REPORTED, 'The SSL negotiation with the LDAP '
             'server "127.0.0.1" on port %d failed: ' % recorder.port),
            ("true", ["rm"], REPORTED, UNUSABLE % "it does not exist"),
            (": > " + CERT, ["rm"], REPORTED, UNUSABLE % "it is empty"),
            ("echo no certificate > " + CERT, ["rm"], REPORTED,
             UNUSABLE % "it is not a DER certificate"),
            ("mkdir " + CERT, ["rm"], REPORTED, UNUSABLE % "it is a directory"),
            # A port whose low 16 bits are 0: the SSL handle cannot be made.
            ("sed -i 's/^ldap-ssl-port=.*/ldap-ssl-port=65536/' " + STORE, ["-k"], REPORTED,
             "LDAP SSL initialization error\n%s0: ldapssl_init failed for port 0\n" % NO_SSL),
            (None, add, 0, "Configure done successfully.\n"),  # the relay sees a password sent
        ]
        for setup, words, status, message in rows:
            with self.subTest(words[-1], setup=setup):
                self.box.sh("rm -rf %s %s %s" % (CERT, LOG, STORE))
                if setup:
                    self.configure(recorder.port, self.server.ldaps_port)
                    self.box.sh(setup)
                del recorder.recorded[:]
                binds, began = self.server.log_text().count(" bind "), time.monotonic()
                # Real pauses: a failure must not wait for the server to start.
                result = self.kiv(*words, env=ADMIN_PWD, real_sleep=status != 0, timeout=60)
                self.assertLess(time.monotonic() - began, 20)
                self.assertRegex(result.stdout, re.escape(message.rstrip()) + "[^\n]*\n\\Z")
                self.assertEqual((result.returncode, DEFAULT_PASSWORD.encode() in recorder.recorded,
                                  self.server.log_text().count(" bind ") > binds,
                                  "Configuring to non SSL connection" in self.log_messages(),
                                  self.store() is not None),
                                 (status, status == 0, status == 0, status == 0,
                                  setup is not None or status == 0), result.stdout + result.stderr)

    def test_tls_bind_clear_text_refused_and_a_changed_certificate(self):
        slapd = Slapd(self.tmp + "/slapd", refuse_clear_bind=True)
        self.addCleanup(slapd.stop)
        self.configure(slapd.ldap_port, slapd.ldaps_port)
        old = fingerprint(slapd.cert_der_bytes)
        result = self.kiv("-k", env=ADMIN_PWD)
        self.assertEqual((result.returncode, result.stdout), (
            0, FETCHED + "SHA-256 fingerprint of the stored certificate: %s\n" % old))
        self.assertEqual(self.certificate(), slapd.cert_der_bytes)
        result = self.kiv(*JOIN, "-S", "127.0.0.1:%d" % slapd.ldap_port, env=ADMIN_PWD)
        self.assertEqual((result.returncode, result.stdout), (REPORTED, (
            "\nThe LDAP server currently does not allow cleartext passwords.\nPlease enable "
            "\"Allow cleartext password\" for the LDAP Group object or use SSL connection and "
            "retry the operation.\n")))
        slapd.restart()
        result = self.kiv("rm", env=ADMIN_PWD)
        self.assertEqual((result.returncode, result.stdout), (REPORTED, (
            'The certificate of the LDAP server "127.0.0.1" does not match the stored '
            "certificate %s\n" % CERT)))
        self.assertEqual(fingerprint(self.certificate()), old)
        result = self.kiv("-k", env=ADMIN_PWD)
        self.assertEqual((result.returncode, result.stdout), (0, FETCHED + (
            'The certificate of the LDAP server "127.0.0.1" has changed; the stored certificate '
            "was replaced.\nOld SHA-256 fingerprint: %s\nNew SHA-256 fingerprint: %s\n")
            % (old, fingerprint(slapd.cert_der_bytes))))

    def test_bind_waits_with_real_pauses_for_a_server_still_starting(self):
        server = self.start_server("late", wait=False, ports=(free_port(), free_port()),
                                   extra_args=("--start-delay", "3"))
        self.configure(server.ldap_port, server.ldaps_port)
        result = self.kiv("-k", env=ADMIN_PWD, real_sleep=True)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertTrue(result.stdout.startswith("Waiting for LDAP server to start on secure "
                                                 "port. This may take a few minutes...\n"
                                                 + FETCHED[1:]), result.stdout)

    def test_a_server_that_stops_answering_ends_the_ssl_negotiation(self):
        self.join(None, "-l", str(self.server.ldaps_port))
        self.server.process.send_signal(signal.SIGSTOP)
        self.addCleanup(self.server.process.send_signal, signal.SIGCONT)
        began = time.monotonic()
        result = self.kiv("-k", env=ADMIN_PWD)
        self.assertLess(time.monotonic() - began, 45)
        self.assertEnds(result, REPORTED, 'The SSL negotiation with the LDAP server "127.0.0.1" '
                        "on port %d failed: TLS handshake failed: The operation timed out\n"
                        % self.server.ldaps_port)
