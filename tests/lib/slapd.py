"""A private slapd instance as a real LDAP peer for tests.

Slapd(tmpdir, tls=True) makes a self-signed certificate for 127.0.0.1 (when
tls), a slapd.conf with an mdb database for the suffix "o=corp" (root DN
"cn=admin,o=corp", password "secret"), loads the entries o=corp and
cn=admin,o=corp, and starts slapd on two free loopback ports: ldap_port
(clear) and ldaps_port (LDAP over SSL, when tls). Everything it writes stays
under tmpdir; Debian's own slapd configuration is never read or changed.

Use it as a context manager, or call stop() yourself: slapd must not outlive
the test. restart(new_certificate=False) stops slapd and starts it again on
the same ports, with a freshly generated certificate when asked. log_level is
slapd's -d value: "stats" writes every operation to log_path (a simple bind as
"BIND dn=... method=128").
"""

import os
import socket
import subprocess
import time

MODULE_PATH = "/usr/lib/ldap"
SCHEMA_DIR = "/etc/ldap/schema"
SCHEMAS = ("core", "cosine", "inetorgperson", "nis")
SUFFIX = "o=corp"
ROOT_DN = "cn=admin,o=corp"
ROOT_PASSWORD = "secret"
START_TIMEOUT_SECONDS = 15.0

BASE_LDIF = """dn: o=corp
objectClass: organization
o: corp

dn: cn=admin,o=corp
objectClass: organizationalRole
objectClass: simpleSecurityObject
cn: admin
userPassword: secret
"""


def free_loopback_port():
    """A TCP port on 127.0.0.1 that nothing listens on right now."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]


def make_certificate(directory, name="server"):
    """Writes NAME.pem, NAME.key and NAME.der (a self-signed certificate for
    127.0.0.1) into directory and returns the three paths."""
    pem = os.path.join(directory, name + ".pem")
    key = os.path.join(directory, name + ".key")
    der = os.path.join(directory, name + ".der")
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
         "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out", pem,
         "-days", "30", "-subj", "/O=corp/CN=127.0.0.1", "-addext",
         "subjectAltName=IP:127.0.0.1"],
        check=True, capture_output=True)
    subprocess.run(
        ["openssl", "x509", "-in", pem, "-outform", "DER", "-out", der],
        check=True, capture_output=True)
    return pem, key, der


class Slapd:
    def __init__(self, tmpdir, tls=True, log_level="0"):
        self.tmpdir = os.path.abspath(tmpdir)
        self.tls = tls
        self.log_level = log_level
        self.process = None
        self._log = None
        self._certificate_count = 0
        self.ldap_port = free_loopback_port()
        self.ldaps_port = free_loopback_port() if tls else None
        self.data_dir = os.path.join(self.tmpdir, "data")
        self.conf_path = os.path.join(self.tmpdir, "slapd.conf")
        self.log_path = os.path.join(self.tmpdir, "slapd.log")
        self.cert_der_path = None
        os.makedirs(self.data_dir, exist_ok=True)
        if tls:
            self._new_certificate()
        self._write_conf()
        self._load_base_entries()
        self.start()

    @property
    def ldap_uri(self):
        return "ldap://127.0.0.1:%d" % self.ldap_port

    @property
    def ldaps_uri(self):
        return "ldaps://127.0.0.1:%d" % self.ldaps_port

    @property
    def cert_der_bytes(self):
        with open(self.cert_der_path, "rb") as f:
            return f.read()

    def _new_certificate(self):
        # A new name each time: slapd reads the files again only on start,
        # and the old files stay for tests that compare.
        self._certificate_count += 1
        self.cert_pem_path, self.key_path, self.cert_der_path = make_certificate(
            self.tmpdir, "server%d" % self._certificate_count)

    def _write_conf(self):
        lines = ["include %s/%s.schema" % (SCHEMA_DIR, s) for s in SCHEMAS]
        lines += [
            "pidfile %s" % os.path.join(self.tmpdir, "slapd.pid"),
            "argsfile %s" % os.path.join(self.tmpdir, "slapd.args"),
            "modulepath %s" % MODULE_PATH,
            "moduleload back_mdb",
        ]
        if self.tls:
            lines += [
                "TLSCertificateFile %s" % self.cert_pem_path,
                "TLSCertificateKeyFile %s" % self.key_path,
            ]
        lines += [
            "database mdb",
            "maxsize 33554432",
            'suffix "%s"' % SUFFIX,
            'rootdn "%s"' % ROOT_DN,
            "rootpw %s" % ROOT_PASSWORD,
            "directory %s" % self.data_dir,
            "",
        ]
        with open(self.conf_path, "w") as f:
            f.write("\n".join(lines))

    def _load_base_entries(self):
        ldif_path = os.path.join(self.tmpdir, "base.ldif")
        with open(ldif_path, "w") as f:
            f.write(BASE_LDIF)
        subprocess.run(["slapadd", "-f", self.conf_path, "-l", ldif_path],
                       check=True, capture_output=True)

    def start(self):
        if self.process is not None:
            return
        urls = self.ldap_uri + "/"
        if self.tls:
            urls += " " + self.ldaps_uri + "/"
        self._log = open(self.log_path, "ab")
        self.process = subprocess.Popen(
            ["slapd", "-f", self.conf_path, "-h", urls, "-d", self.log_level],
            stdin=subprocess.DEVNULL, stdout=self._log, stderr=subprocess.STDOUT)
        try:
            self._wait_until_listening()
        except BaseException:
            self.stop()
            raise

    def _wait_until_listening(self):
        deadline = time.monotonic() + START_TIMEOUT_SECONDS
        ports = [self.ldap_port] + ([self.ldaps_port] if self.tls else [])
        while ports:
            if self.process.poll() is not None:
                raise RuntimeError("slapd exited with %d; see %s" %
                                   (self.process.returncode, self.log_path))
            try:
                with socket.create_connection(("127.0.0.1", ports[0]), timeout=1):
                    ports.pop(0)
                    continue
            except OSError:
                pass
            if time.monotonic() > deadline:
                raise RuntimeError("slapd did not listen in time; see %s" % self.log_path)
            time.sleep(0.02)

    def stop(self):
        if self.process is None:
            return
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process = None
        self._log.close()
        self._log = None

    def restart(self, new_certificate=False):
        self.stop()
        if new_certificate and self.tls:
            self._new_certificate()
            self._write_conf()
        self.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

