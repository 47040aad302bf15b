"""Runs the test directory server (ombrel-server) for the tests.

    with OmbrelServer(tmpdir) as server:
        ... connect to server.uri() or server.uri(tls=True) ...
        state = server.dump()      # the whole tree as sorted LDIF

The binary is $OMBREL_SERVER (set by CTest), else the newest build of this
checkout. Every process started here ends with stop() or the with-block.
"""

import os
import pathlib
import signal
import socket
import ssl
import subprocess
import time

DEFAULT_ADMIN = "cn=admin,o=corp"
DEFAULT_PASSWORD = "secret"
DEFAULT_TREE = """\
dn: o=corp
objectClass: organization
o: corp

dn: cn=admin,o=corp
objectClass: inetOrgPerson
cn: admin
sn: admin
userPassword: secret

dn: ou=ws,o=corp
objectClass: organizationalUnit
ou: ws

dn: cn=ombrel,o=corp
objectClass: vrdServer
cn: ombrel
"""
_REPO = pathlib.Path(__file__).resolve().parents[2]


def free_port():
    """A loopback port that was free a moment ago."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_certificate(directory, name="server"):
    """A self-signed certificate for 127.0.0.1: (PEM path, key path)."""
    cert, key = (os.path.join(directory, name + suffix) for suffix in (".pem", ".key"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "30", "-keyout", key,
                    "-out", cert, "-subj", "/O=corp/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"],
                   check=True, capture_output=True)
    return cert, key


class OmbrelServer:
    """One ombrel-server with its files under tmpdir. ports=(ldap, ldaps)
    fixes the ports, for a server whose ports open late (--start-delay)."""

    def __init__(self, tmpdir, ldif=None, admins=(DEFAULT_ADMIN,), tls=True, extra_args=(),
                 ports=(0, 0)):
        self.dir = pathlib.Path(tmpdir)
        self.dir.mkdir(parents=True, exist_ok=True)
        self.ldif = DEFAULT_TREE if ldif is None else ldif
        self.admins, self.tls, self.extra_args = admins, tls, tuple(extra_args)
        self.ldap_port, self.ldaps_port = ports
        self.dump_path, self.port_path = self.dir / "dump.ldif", self.dir / "ports"
        self.log_path = self.dir / "server.log"
        self.cert_pem_path = self.key_path = self.process = None

    def start(self, wait=True, timeout=15):
        """Starts the server; with wait, returns once its ports listen."""
        tree = self.dir / "tree.ldif"
        tree.write_text(self.ldif)
        args = [os.environ.get("OMBREL_SERVER") or str(max(
            _REPO.glob("build*/platform/dirserver/ombrel-server"), key=os.path.getmtime)),
            "--ldap-port", str(self.ldap_port), "--load", str(tree), "--dump",
            str(self.dump_path), "--port-file", str(self.port_path),
            "--server-dn", "cn=ombrel,o=corp"]
        if self.tls:
            self.cert_pem_path, self.key_path = make_certificate(self.dir)
            args += ["--ldaps-port", str(self.ldaps_port), "--cert", self.cert_pem_path,
                     "--key", self.key_path]
        for admin in self.admins:
            args += ["--admin", admin]
        self.port_path.unlink(missing_ok=True)
        with open(self.log_path, "ab") as log:
            self.process = subprocess.Popen(args + list(self.extra_args), stdout=log, stderr=log)
        if wait:
            deadline = time.monotonic() + timeout
            while not self.port_path.exists():
                if self.process.poll() is not None or time.monotonic() > deadline:
                    self.kill()
                    raise RuntimeError("ombrel-server did not start:\n" + self.log_text())
                time.sleep(0.02)
            ports = dict(line.split("=") for line in self.port_path.read_text().split())
            self.ldap_port, self.ldaps_port = int(ports["ldap"]), int(ports.get("ldaps", 0))
        return self

    def stop(self, timeout=10):
        """SIGTERM, wait, and the final dump's text ("" if none)."""
        if self.process is not None and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                self.kill()
        self.process = None
        return self.dump_path.read_text() if self.dump_path.exists() else ""

    def kill(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def dump(self, timeout=10):
        """The running server's tree (SIGUSR1) as sorted LDIF."""
        self.dump_path.unlink(missing_ok=True)
        self.process.send_signal(signal.SIGUSR1)
        deadline = time.monotonic() + timeout
        while not self.dump_path.exists():
            if time.monotonic() > deadline or self.process.poll() is not None:
                raise RuntimeError("no dump from ombrel-server:\n" + self.log_text())
            time.sleep(0.01)
        return self.dump_path.read_text()

    def __enter__(self):
        return self.start() if self.process is None else self

    def __exit__(self, *exc):
        self.stop()
        return False

    def uri(self, tls=False):
        return "ldap%s://127.0.0.1:%d" % (("s", self.ldaps_port) if tls else ("", self.ldap_port))

    @property
    def cert_der_bytes(self):
        return ssl.PEM_cert_to_DER_cert(pathlib.Path(self.cert_pem_path).read_text())

    def log_text(self):
        """The request log: one line per request."""
        return self.log_path.read_text(errors="replace") if self.log_path.exists() else ""

    def client_env(self):
        """Environment for ldap-utils: no user or system ldap.conf, our CA."""
        (self.dir / "ldap.conf").touch()
        return dict(os.environ, LDAPCONF=str(self.dir / "ldap.conf"), LDAPRC="none",
                    HOME=str(self.dir), LDAPTLS_REQCERT="demand",
                    LDAPTLS_CACERT=self.cert_pem_path or "")
