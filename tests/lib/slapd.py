"""Debian's slapd as a peer that nobody here wrote.

Slapd(tmpdir, tls=True, refuse_clear_bind=False) serves the suffix o=corp,
root DN cn=admin,o=corp with the password "secret" and no entries, on a clear
loopback port and, with tls, an LDAPS one with a self-signed certificate for
127.0.0.1. restart() comes back on the same ports with a new certificate.
log_level is slapd's -d value: "stats" writes every operation to log_path (a
simple bind as "BIND dn=... method=128").
Everything it writes stays under tmpdir; Debian's own configuration is never
read.
"""

import os
import socket
import ssl
import subprocess
import time

from ombrel import free_port, make_certificate

free_loopback_port = free_port
CONF = """include /etc/ldap/schema/core.schema
include /etc/ldap/schema/cosine.schema
include /etc/ldap/schema/inetorgperson.schema
include /etc/ldap/schema/nis.schema
pidfile {dir}/slapd.pid
modulepath /usr/lib/ldap
moduleload back_mdb
{options}database mdb
maxsize 33554432
suffix "o=corp"
rootdn "cn=admin,o=corp"
rootpw secret
directory {dir}
"""


class Slapd:
    def __init__(self, tmpdir, tls=True, refuse_clear_bind=False, log_level="0"):
        self.dir = os.path.abspath(tmpdir)
        os.makedirs(self.dir, exist_ok=True)
        self.log_level, self.log_path = log_level, os.path.join(self.dir, "slapd.log")
        self.ldap_port, self.ldaps_port = free_port(), free_port() if tls else None
        self.refuse_clear_bind, self.process, self.certificates = refuse_clear_bind, None, 0
        self.start()

    def start(self, timeout=15):
        self.certificates += 1
        options, urls = "", "ldap://127.0.0.1:%d/" % self.ldap_port
        if self.ldaps_port:
            pem, key = make_certificate(self.dir, "server%d" % self.certificates)
            with open(pem) as f:
                self.cert_der_bytes = ssl.PEM_cert_to_DER_cert(f.read())
            options = "TLSCertificateFile %s\nTLSCertificateKeyFile %s\n" % (pem, key)
            urls += " ldaps://127.0.0.1:%d/" % self.ldaps_port
        if self.refuse_clear_bind:
            options += "security simple_bind=1\n"
        conf = os.path.join(self.dir, "slapd.conf")
        with open(conf, "w") as f:
            f.write(CONF.format(dir=self.dir, options=options))
        with open(self.log_path, "ab") as log:
            self.process = subprocess.Popen(["slapd", "-f", conf, "-h", urls, "-d", self.log_level],
                                            stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        deadline = time.monotonic() + timeout
        for port in filter(None, (self.ldap_port, self.ldaps_port)):
            while not self._listening(port):
                if self.process.poll() is not None or time.monotonic() > deadline:
                    self.stop()
                    raise RuntimeError("slapd did not start; see its log in " + self.dir)
                time.sleep(0.02)

    @staticmethod
    def _listening(port):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            return False

    def stop(self):
        if self.process is not None:
            self.process.terminate()
            self.process.wait(timeout=10)
            self.process = None

    def restart(self):
        self.stop()
        self.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False
