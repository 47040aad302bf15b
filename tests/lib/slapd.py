"""Debian's slapd, a peer nobody here wrote, with files only under tmpdir:
o=corp and its admin, no entries; restart() renews the LDAPS certificate."""

import contextlib
import os
import socket
import ssl
import subprocess

from ombrel import free_port, make_certificate, wait_for

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


def listening(port):
    with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), timeout=1):
        return True
    return False


class Slapd:
    def __init__(self, tmpdir, tls=True, refuse_clear_bind=False, log_level="0"):
        self.dir = os.path.abspath(tmpdir)
        os.makedirs(self.dir, exist_ok=True)
        self.log_level, self.log_path = log_level, os.path.join(self.dir, "slapd.log")
        self.ldap_port, self.ldaps_port = free_port(), free_port() if tls else None
        self.refuse_clear_bind, self.process, self.certificates = refuse_clear_bind, None, 0
        self.start()

    def start(self):
        self.certificates += 1
        options, urls = "", "ldap://127.0.0.1:%d/" % self.ldap_port
        if self.ldaps_port:
            pem, key = make_certificate(self.dir, "server%d" % self.certificates)
            with open(pem) as f:
                self.cert_der_bytes = ssl.PEM_cert_to_DER_cert(f.read())
            options = "TLSCertificateFile %s\nTLSCertificateKeyFile %s\n" % (pem, key)
            urls += " ldaps://127.0.0.1:%d/" % self.ldaps_port
        options += "security simple_bind=1\n" if self.refuse_clear_bind else ""
        conf = os.path.join(self.dir, "slapd.conf")
        with open(conf, "w") as f:
            f.write(CONF.format(dir=self.dir, options=options))
        with open(self.log_path, "ab") as log:
            self.process = subprocess.Popen(["slapd", "-f", conf, "-h", urls, "-d", self.log_level],
                                            stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        ports = list(filter(None, (self.ldap_port, self.ldaps_port)))
        if not wait_for(lambda: all(map(listening, ports)), self.process):
            self.stop()
            raise RuntimeError("slapd did not start; see its log in " + self.dir)

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
