"""ombrel-server ($OMBREL_SERVER, else the newest build here) for the tests."""

import os
import pathlib
import signal
import socket
import ssl
import subprocess
import time

DEFAULT_ADMIN, DEFAULT_PASSWORD = "cn=admin,o=corp", "secret"
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


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_certificate(directory, name="server"):
    cert, key = (os.path.join(directory, name + suffix) for suffix in (".pem", ".key"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "30", "-keyout", key,
                    "-out", cert, "-subj", "/O=corp/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"],
                   check=True, capture_output=True)
    return cert, key


def wait_for(ready, process, timeout=15):
    deadline = time.monotonic() + timeout
    while not ready():
        if process.poll() is not None or time.monotonic() > deadline:
            return False
        time.sleep(0.01)
    return True


class OmbrelServer:
    """ports=(ldap, ldaps) fixes the ports of a server that opens them late."""

    def __init__(self, tmpdir, ldif=None, tls=True, extra_args=(), ports=(0, 0)):
        self.dir = pathlib.Path(tmpdir)
        self.dir.mkdir(parents=True, exist_ok=True)
        self.ldif, self.tls, self.extra_args = ldif or DEFAULT_TREE, tls, tuple(extra_args)
        self.ldap_port, self.ldaps_port = ports
        self.dump_path, self.log_path = self.dir / "dump.ldif", self.dir / "server.log"
        self.cert_pem_path = self.process = None

    def start(self, wait=True):
        tree, port_path = self.dir / "tree.ldif", self.dir / "ports"
        tree.write_text(self.ldif)
        args = [os.environ.get("OMBREL_SERVER") or str(max(pathlib.Path(__file__).resolve(
            ).parents[2].glob("build*/platform/dirserver/ombrel-server"), key=os.path.getmtime)),
            "--ldap-port", str(self.ldap_port), "--load", str(tree), "--dump",
            str(self.dump_path), "--port-file", str(port_path), "--server-dn",
            "cn=ombrel,o=corp", "--admin", DEFAULT_ADMIN, *self.extra_args]
        if self.tls:
            self.cert_pem_path, key = make_certificate(self.dir)
            args += ["--ldaps-port", str(self.ldaps_port), "--cert", self.cert_pem_path,
                     "--key", key]
        port_path.unlink(missing_ok=True)
        with open(self.log_path, "ab") as log:
            self.process = subprocess.Popen(args, stdout=log, stderr=log)
        if wait:
            if not wait_for(port_path.exists, self.process):
                self.stop()
                raise RuntimeError("ombrel-server did not start:\n" + self.log_text())
            ports = dict(line.split("=") for line in port_path.read_text().split())
            self.ldap_port, self.ldaps_port = int(ports["ldap"]), int(ports.get("ldaps", 0))
        return self

    def stop(self):
        """The final dump's text ("" if none)."""
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None
        return self.dump_path.read_text() if self.dump_path.exists() else ""

    def dump(self):
        self.dump_path.unlink(missing_ok=True)
        self.process.send_signal(signal.SIGUSR1)
        if not wait_for(self.dump_path.exists, self.process):
            raise RuntimeError("no dump from ombrel-server:\n" + self.log_text())
        return self.dump_path.read_text()

    def __enter__(self):
        return self.start() if self.process is None else self

    def __exit__(self, *exc):
        self.stop()

    def uri(self, tls=False):
        return "ldap%s://127.0.0.1:%d" % (("s", self.ldaps_port) if tls else ("", self.ldap_port))

    @property
    def cert_der_bytes(self):
        return ssl.PEM_cert_to_DER_cert(pathlib.Path(self.cert_pem_path).read_text())

    def log_text(self):
        return self.log_path.read_text(errors="replace") if self.log_path.exists() else ""

    def client_env(self):
        (self.dir / "ldap.conf").touch()
        return dict(os.environ, LDAPCONF=str(self.dir / "ldap.conf"), LDAPRC="none",
                    HOME=str(self.dir), LDAPTLS_REQCERT="demand",
                    LDAPTLS_CACERT=self.cert_pem_path or "")
