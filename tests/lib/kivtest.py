"""Common ground of the end-to-end tests: tests/sandbox driven from Python.

A Sandbox names one state directory (outside /etc, /var, /usr/sbin and /run):
each call through it sees what the calls before it left, daemons included,
and nothing of the machine's own files changes. The binaries are CTest's
($KIVCONFIG, $FASTSLEEP, ...) or those of build/.
"""

import functools
import os
import re
import signal
import subprocess
import tempfile
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SANDBOX = os.path.join(REPO, "tests", "sandbox")
KIVCONFIG = os.environ.get("KIVCONFIG") or os.path.join(REPO, "build", "src", "kivconfig")
BUILD = os.path.dirname(os.path.dirname(KIVCONFIG))
FASTSLEEP = os.environ.get("FASTSLEEP") or os.path.join(BUILD, "tests/tools/libfastsleep.so")
STORE = "/etc/kiv.conf"
STATE_DIR = "/var/lib/velmar-pelk"
LOG = STATE_DIR + "/kiv.log"
INIT_LOG = "/var/log/kiv-initscripts.log"
CANNOT_RUN = 77  # tests/sandbox: the kernel refuses the namespaces
ALREADY_REPORTED_STATUS = 145  # -5999 modulo 256
LOG_STAMP = re.compile(r"^[A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4}: ")


class Sandbox:
    def __init__(self, state_dir, hostname="kivhost", nscd=True):
        self.options = ["--state", state_dir, "--hostname", hostname] + ([] if nscd else
                                                                          ["--no-nscd"])

    def run(self, args, input=None, env=None, etc_size_kb=None, readonly_etc=False, timeout=120):
        """Runs args inside; a text-mode CompletedProcess. A timeout kills the
        whole sandbox, daemons included, and raises TimeoutExpired."""
        cmd = [SANDBOX, *self.options] + (["--etc-size", str(etc_size_kb)] if etc_size_kb else [])
        cmd += (["--readonly-etc"] if readonly_etc else []) + ["--"] + [str(a) for a in args]
        with subprocess.Popen(cmd, stdin=subprocess.DEVNULL if input is None else subprocess.PIPE,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, text=True,
                              start_new_session=True) as proc:
            try:
                out, err = proc.communicate(input, timeout=timeout)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                raise
        return subprocess.CompletedProcess(cmd, proc.returncode, out, err)

    def sh(self, script, *args, **options):
        return self.run(["sh", "-c", script, "sh", *args], **options)

    def read(self, path):
        """The text of path inside, or None when it cannot be read."""
        result = self.run(["cat", "--", path])
        return result.stdout if result.returncode == 0 else None

    def exists(self, path):
        return self.run(["test", "-e", path]).returncode == 0

    def init_calls(self):
        """The init-script calls so far, "<name> <action>" each."""
        return (self.read(INIT_LOG) or "").splitlines()


@functools.lru_cache(maxsize=None)
def sandbox_available():
    with tempfile.TemporaryDirectory(prefix="kiv-sandbox-probe.") as state:
        return Sandbox(state).run(["true"]).returncode != CANNOT_RUN


def parse_store(text):
    """The key=value lines of a store text, in file order."""
    return [(key.strip(), value) for key, _, value in
            (line.partition("=") for line in text.splitlines()
             if "=" in line and not line.startswith("#"))]


def log_messages_of(text):
    """The messages of a log text, time stamps checked and removed."""
    lines = [line for line in (text or "").splitlines() if line]
    for line in lines:
        if not LOG_STAMP.match(line):
            raise AssertionError("log line without a time stamp: %r" % line)
    return [LOG_STAMP.sub("", line) for line in lines]


def with_fast_sleep(env):
    """env with the sleep shim preloaded, for a script run through a Sandbox."""
    asan = env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"
    return dict(env, LD_PRELOAD=FASTSLEEP, ASAN_OPTIONS=asan)


class SandboxTest(unittest.TestCase):
    """A test case with a sandbox of its own. kiv() preloads the sleep shim,
    so that kivconfig's 5-second pauses take no time, unless real_sleep."""

    maxDiff = None
    hostname = "kivhost"
    nscd = True

    def setUp(self):
        if not sandbox_available():
            raise unittest.SkipTest("the sandbox needs root or unprivileged user namespaces")
        self._state = tempfile.TemporaryDirectory(prefix="kiv-e2e.")
        self.addCleanup(self._state.cleanup)
        self.box = Sandbox(self._state.name, hostname=self.hostname, nscd=self.nscd)

    def kiv(self, *args, input=None, env=None, real_sleep=False, **sandbox_options):
        env = dict(os.environ if env is None else env)
        if not real_sleep:
            env["LD_PRELOAD"] = FASTSLEEP
            env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"
        return self.box.run([KIVCONFIG, *args], input=input, env=env, **sandbox_options)

    def env(self, **variables):
        """The test's environment with variables set (None removes one)."""
        env = {k: v for k, v in os.environ.items() if k not in variables}
        return dict(env, **{k: v for k, v in variables.items() if v is not None})

    def store(self):
        """The store's key/value pairs, or None when there is none."""
        text = self.box.read(STORE)
        return None if text is None else parse_store(text)

    def log_messages(self):
        return log_messages_of(self.box.read(LOG))
