"""tests/sandbox from Python; a Sandbox keeps its state, daemons included."""

import functools
import hashlib
import os
import re
import signal
import subprocess
import tempfile
import unittest

from ombrel import DEFAULT_ADMIN, DEFAULT_PASSWORD, OmbrelServer

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SANDBOX = os.path.join(REPO, "tests", "sandbox")
KIVCONFIG = os.environ.get("KIVCONFIG") or os.path.join(REPO, "build", "src", "kivconfig")
BUILD = os.path.dirname(os.path.dirname(KIVCONFIG))
FASTSLEEP = os.environ.get("FASTSLEEP") or os.path.join(BUILD, "tests/tools/libfastsleep.so")
STORE, STATE_DIR, INIT_LOG = "/etc/kiv.conf", "/var/lib/velmar-pelk", "/var/log/kiv-initscripts.log"
LOG, CERT = STATE_DIR + "/kiv.log", STATE_DIR + "/.127.0.0.1.der"
REPORTED = 145  # the failing step printed its own message: -5999 modulo 256
ADMIN_PWD = {"PELK_PWD": DEFAULT_PASSWORD}
JOIN = ["add", "-a", DEFAULT_ADMIN, "-r", "o=corp", "-w", "ou=ws,o=corp"]
LOG_STAMP = re.compile(r"^[A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4}: ")


class Sandbox:
    def __init__(self, state_dir, hostname="kivhost"):
        self.options = ["--state", state_dir, "--hostname", hostname]

    def run(self, args, input=None, env=None, real_sleep=False, etc_size_kb=None,
            readonly_etc=False, timeout=120):
        """env's None removes a variable; unless real_sleep, kivconfig's pauses are instant."""
        cmd = [SANDBOX, *self.options] + (["--etc-size", str(etc_size_kb)] if etc_size_kb else [])
        cmd += (["--readonly-etc"] if readonly_etc else []) + ["--"] + [str(a) for a in args]
        full = {k: v for k, v in {**os.environ, **(env or {})}.items() if v is not None}
        if not real_sleep:
            full.update(LD_PRELOAD=FASTSLEEP, ASAN_OPTIONS=full.get("ASAN_OPTIONS", "") +
                        ":verify_asan_link_order=0")
        with subprocess.Popen(cmd, stdin=subprocess.DEVNULL if input is None else subprocess.PIPE,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=full, text=True,
                              start_new_session=True) as proc:
            try:
                out, err = proc.communicate(input, timeout=timeout)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                raise
        return subprocess.CompletedProcess(cmd, proc.returncode, out, err)

    def sh(self, script, *args, **options):
        return self.run(["sh", "-c", script, "sh", *args], **options)

    def kiv(self, *args, **options):
        return self.run([KIVCONFIG, *args], **options)

    def read(self, path):
        result = self.run(["cat", "--", path])
        return result.stdout if result.returncode == 0 else None


@functools.lru_cache(maxsize=None)
def sandbox_available():
    with tempfile.TemporaryDirectory(prefix="kiv-sandbox-probe.") as state:
        return Sandbox(state).run(["true"]).returncode != 77  # the kernel refuses


def fingerprint(der):
    return ":".join(re.findall("..", hashlib.sha256(der).hexdigest().upper()))


class SandboxTest(unittest.TestCase):
    maxDiff = None
    with_server = False

    def setUp(self):
        if not sandbox_available():
            raise unittest.SkipTest("the sandbox needs root or unprivileged user namespaces")
        self.tmp = self.enterContext(tempfile.TemporaryDirectory(prefix="kiv-e2e."))
        self.box = Sandbox(self.tmp)
        self.server = self.start_server() if self.with_server else None

    def start_server(self, name="server", wait=True, **options):
        server = OmbrelServer(os.path.join(self.tmp, name), **options)
        self.addCleanup(server.stop)
        return server.start(wait)

    def kiv(self, *args, **options):
        return self.box.kiv(*args, **options)

    def join(self, box=None, *words):
        result = (box or self.box).kiv(*JOIN, "-S", "127.0.0.1:%d" % self.server.ldap_port,
                                       *words, env=ADMIN_PWD)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def assertEnds(self, result, status, last):
        self.assertEqual(result.returncode, status, result.stdout + result.stderr)
        self.assertTrue(result.stdout.endswith(last), result.stdout)

    def configure(self, ldap_port, ldaps_port):
        self.box.sh('printf %s "$1" > ' + STORE, "base-name=o=corp\nadmin-fdn=%s\npreferred-"
                    "server=127.0.0.1\nldap-port=%d\nldap-ssl-port=%d\n" %
                    (DEFAULT_ADMIN, ldap_port, ldaps_port))

    def certificate(self):
        return bytes.fromhex(self.box.run(["od", "-An", "-v", "-tx1", CERT]).stdout)

    def store(self):
        text = self.box.read(STORE)
        return None if text is None else [tuple(line.split("=", 1)) for line in
                                          text.splitlines() if "=" in line and line[0] != "#"]

    def log_messages(self):
        lines = [line for line in (self.box.read(LOG) or "").splitlines() if line]
        for line in lines:
            self.assertRegex(line, LOG_STAMP)
        return [LOG_STAMP.sub("", line) for line in lines]
