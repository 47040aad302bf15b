"""Runs the test directory server (ombrel-server) for end-to-end tests.

    with OmbrelServer(tmpdir) as server:
        ... connect to server.uri() or server.uri(tls=True) ...
        state = server.dump()      # the whole tree as sorted LDIF
    entries = dump_entries(state)  # {DN: entry text}, escapes written one way

The server binary comes from $OMBREL_SERVER (set by the CTest registration)
or from a build directory of this checkout. Every process started here is
stopped by stop() or by leaving the with-block, also when a test fails.
"""

import base64
import os
import pathlib
import re
import signal
import socket
import ssl
import subprocess
import time

DEFAULT_ADMIN = "cn=admin,o=corp"
DEFAULT_PASSWORD = "secret"
DEFAULT_SERVER_DN = "cn=ombrel,o=corp"

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

# Characters that RFC 4514 escapes anywhere in an attribute value.
_DN_SPECIALS = ',+"\\<>;'
_ATTRIBUTE_TYPE = re.compile(r"[A-Za-z][A-Za-z0-9-]*|[0-9]+(\.[0-9]+)*")
_HEX_PAIR = re.compile(rb"[0-9A-Fa-f]{2}")


def find_server_binary():
    """Path of ombrel-server: $OMBREL_SERVER, else the newest build."""
    env = os.environ.get("OMBREL_SERVER")
    if env:
        return env
    candidates = sorted(_REPO.glob("build*/platform/dirserver/ombrel-server"),
                        key=lambda p: p.stat().st_mtime, reverse=True)
    if not candidates:
        raise FileNotFoundError("ombrel-server not built; set OMBREL_SERVER")
    return str(candidates[0])


def free_port():
    """A loopback port that was free a moment ago."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_certificate(directory, cn="127.0.0.1"):
    """Self-signed RSA 2048 certificate for 127.0.0.1 and localhost.

    Returns (cert_path, key_path) inside directory.
    """
    directory = pathlib.Path(directory)
    cert = directory / "server-cert.pem"
    key = directory / "server-key.pem"
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "365",
         "-keyout", str(key), "-out", str(cert), "-subj", "/CN=" + cn,
         "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"],
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return str(cert), str(key)


class OmbrelServer:
    """One ombrel-server process with its files under tmpdir."""

    def __init__(self, tmpdir, ldif=None, admins=(DEFAULT_ADMIN,), tls=True, extra_args=(),
                 server_dn=DEFAULT_SERVER_DN):
        self.dir = pathlib.Path(tmpdir)
        self.dir.mkdir(parents=True, exist_ok=True)
        self.ldif = DEFAULT_TREE if ldif is None else ldif
        self.admins = tuple(admins)
        self.tls = tls
        self.extra_args = tuple(extra_args)
        self.server_dn = server_dn
        self.tree_path = self.dir / "ombrel-tree.ldif"
        self.dump_path = self.dir / "ombrel-dump.ldif"
        self.port_path = self.dir / "ombrel-ports"
        self.log_path = self.dir / "ombrel-server.log"
        self.cert_pem_path = None
        self.key_path = None
        self.ldap_port = None
        self.ldaps_port = None
        self.process = None

    # -- life cycle --------------------------------------------------------

    def command(self):
        args = [find_server_binary(), "--listen", "127.0.0.1",
                "--ldap-port", "0", "--load", str(self.tree_path),
                "--dump", str(self.dump_path), "--port-file", str(self.port_path)]
        for admin in self.admins:
            args += ["--admin", admin]
        if self.server_dn:
            args += ["--server-dn", self.server_dn]
        if self.tls:
            args += ["--ldaps-port", "0", "--cert", self.cert_pem_path, "--key", self.key_path]
        return args + list(self.extra_args)

    def start(self, wait=True, timeout=15):
        """Starts the server; with wait, returns once its ports listen."""
        self.tree_path.write_text(self.ldif)
        if self.tls and self.cert_pem_path is None:
            self.cert_pem_path, self.key_path = make_certificate(self.dir)
        for path in (self.port_path, self.dump_path):
            if path.exists():
                path.unlink()
        self.log = open(self.log_path, "ab")
        self.process = subprocess.Popen(self.command(), stdout=self.log, stderr=self.log)
        if wait:
            self.wait_ready(timeout)
        return self

    def wait_ready(self, timeout=15):
        deadline = time.monotonic() + timeout
        while not self.port_path.exists():
            if self.process.poll() is not None:
                raise RuntimeError("ombrel-server exited with %s:\n%s"
                                   % (self.process.returncode, self.log_text()))
            if time.monotonic() > deadline:
                self.kill()
                raise TimeoutError("ombrel-server did not start:\n" + self.log_text())
            time.sleep(0.02)
        ports = dict(line.split("=", 1) for line in self.port_path.read_text().split())
        self.ldap_port = int(ports["ldap"])
        self.ldaps_port = int(ports["ldaps"]) if "ldaps" in ports else None

    def stop(self, timeout=10):
        """SIGTERM, wait, and return the final dump text ("" if none)."""
        if self.process is None:
            return ""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                self.kill()
        self.process = None
        self.log.close()
        return self.dump_path.read_text() if self.dump_path.exists() else ""

    def kill(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def dump(self, timeout=10):
        """Asks the running server for a dump (SIGUSR1) and returns its text."""
        if self.dump_path.exists():
            self.dump_path.unlink()
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

    # -- what tests use ----------------------------------------------------

    def uri(self, tls=False):
        if tls:
            return "ldaps://127.0.0.1:%d" % self.ldaps_port
        return "ldap://127.0.0.1:%d" % self.ldap_port

    @property
    def cert_der_bytes(self):
        return ssl.PEM_cert_to_DER_cert(pathlib.Path(self.cert_pem_path).read_text())

    def log_text(self):
        return self.log_path.read_text(errors="replace") if self.log_path.exists() else ""

    def client_env(self):
        """Environment for ldap-utils: no user or system ldap.conf, our CA."""
        env = dict(os.environ)
        empty_conf = self.dir / "ldap-client.conf"
        empty_conf.touch()
        env.update(LDAPCONF=str(empty_conf), LDAPRC=str(self.dir / "no-ldaprc"),
                   HOME=str(self.dir), LDAPTLS_REQCERT="demand")
        if self.cert_pem_path:
            env["LDAPTLS_CACERT"] = self.cert_pem_path
        return env


# -- comparing directory states --------------------------------------------


def escape_dn_value(value):
    """value escaped for a DN the one way canonical_dn writes it: a backslash
    before each special, a leading "#" or blank and a trailing blank; NUL as
    \\00."""
    out = []
    for i, c in enumerate(value):
        if c == "\0":
            out.append("\\00")
        elif c in _DN_SPECIALS or (i == 0 and c in "# ") or (i == len(value) - 1 and c == " "):
            out.append("\\" + c)
        else:
            out.append(c)
    return "".join(out)


def canonical_dn(dn):
    """dn with its values unescaped and escaped again by escape_dn_value, so
    that one DN written with different escapes (a\\,b, a\\2Cb, a\\2cb) reads
    the same; types, letter case and inner blanks stay as written. A text
    that is not a DN is returned unchanged."""
    data = dn.encode()
    rdns, avas, i = [], [], 0
    try:
        while data:
            equals = data.index(b"=", i)
            kind = data[i:equals].decode().strip(" ")
            if not _ATTRIBUTE_TYPE.fullmatch(kind):
                return dn
            i = equals + 1
            while i < len(data) and data[i] == 0x20:
                i += 1
            value, kept = bytearray(), 0
            while i < len(data) and data[i] not in b",+;":
                if data[i] == 0x5C:
                    pair = data[i + 1:i + 3]
                    if _HEX_PAIR.fullmatch(pair):
                        value.append(int(pair, 16))
                        i += 3
                    else:
                        value.append(data[i + 1])
                        i += 2
                    kept = len(value)
                else:
                    value.append(data[i])
                    i += 1
                    kept = len(value) if value[-1] != 0x20 else kept
            avas.append(kind + "=" + escape_dn_value(value[:kept].decode()))
            if i >= len(data) or data[i] != ord("+"):
                rdns.append("+".join(avas))
                avas = []
            if i >= len(data):
                break
            i += 1
    except (ValueError, IndexError, UnicodeDecodeError):
        return dn
    return ",".join(rdns)


def _canonical_value(name, value):
    """An ACL value names its trustee by DN: "privileges#scope#trustee#attribute"."""
    fields = value.split("#", 2)
    if name.lower() != "acl" or len(fields) != 3:
        return value
    trustee, hash_sign, attribute = fields[2].rpartition("#")
    if not hash_sign or trustee == "[Public]":
        return value
    return "#".join(fields[:2] + [canonical_dn(trustee), attribute])


def entry_text(dn, pairs):
    """One entry as dump_entries shows it: "dn: <dn>", then "name: value"
    lines ordered by lower-cased name and value bytes."""
    lines = sorted(pairs, key=lambda pair: (pair[0].lower(), pair[1].encode()))
    return "\n".join(["dn: " + dn] + ["%s: %s" % pair for pair in lines])


def dump_entries(text):
    """The entries of a dump (cn=schema included) as {DN: entry_text}, in dump
    order, with base64 values decoded and DNs (also the trustees inside ACL
    values) in canonical_dn form."""
    entries = {}
    for block in text.split("\n\n"):
        pairs = []
        for line in block.splitlines():
            name, _, rest = line.partition(":")
            if rest.startswith(":"):
                value = base64.b64decode(rest[1:].strip()).decode("utf-8", "backslashreplace")
            else:
                value = rest[1:] if rest.startswith(" ") else rest
            pairs.append((name, value))
        if not pairs or pairs[0][0] != "dn":
            continue
        dn = canonical_dn(pairs[0][1])
        entries[dn] = entry_text(dn, [(n, _canonical_value(n, v)) for n, v in pairs[1:]])
    return entries
