"""Common ground of the end-to-end tests of kivconfig.

Each test gets a sandbox of its own (a fresh copy of the host's /etc, /var
and /usr/sbin) and runs the real kivconfig binary in it.
"""

import os
import re
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from sandbox import KIVCONFIG, REPO, Sandbox, needs_root_or_userns  # noqa: E402

BUILD = os.path.dirname(os.path.dirname(KIVCONFIG))
DIRECTORY_PROBE = os.environ.get("DIRECTORY_PROBE") or os.path.join(BUILD, "tests", "tools",
                                                                 "directory-probe")
FASTSLEEP = os.environ.get("FASTSLEEP") or os.path.join(BUILD, "tests", "tools",
                                                        "libfastsleep.so")
PTY_RUN = os.path.join(REPO, "tests", "lib", "pty_run.py")

STORE = "/etc/kiv.conf"
LOG = "/var/lib/velmar-pelk/kiv.log"
STATE_DIR = "/var/lib/velmar-pelk"
KIVCD_PID = "/var/run/velmar-pelk/kivcd.pid"
NSCD_PID = "/var/run/nscd/nscd.pid"

# "Sun Dec  6 07:22:36 2026: "
LOG_STAMP = re.compile(r"^[A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4}: ")

ALREADY_REPORTED_STATUS = 145  # -5999 modulo 256


def parse_store(text):
    """The key=value lines of a store text, in file order."""
    pairs = []
    for line in text.splitlines():
        if line and not line.startswith("#") and "=" in line:
            key, value = line.split("=", 1)
            pairs.append((key.strip(), value))
    return pairs


def log_messages_of(text):
    """The messages of a log text, time stamps checked and removed; the empty
    line that follows a message ending in a line end is dropped."""
    messages = []
    for line in (text or "").splitlines():
        if line == "":
            continue
        if not LOG_STAMP.match(line):
            raise AssertionError("log line without a time stamp: %r" % line)
        messages.append(LOG_STAMP.sub("", line))
    return messages


def fast_sleep_env(env):
    """env with the sleep shim preloaded, so that kivconfig's pauses take no
    time."""
    return dict(env, LD_PRELOAD=FASTSLEEP, ASAN_OPTIONS="verify_asan_link_order=0")


class SandboxTest(unittest.TestCase):
    """A test case with its own sandbox; hostname and nscd may be overridden."""

    hostname = "kivhost"
    nscd = True

    def setUp(self):
        needs_root_or_userns()
        self._state = tempfile.TemporaryDirectory(prefix="kiv-e2e.")
        self.addCleanup(self._state.cleanup)
        self.box = Sandbox(self._state.name, hostname=self.hostname, nscd=self.nscd)

    def kiv(self, *args, input=None, env=None, **sandbox_options):
        """Runs kivconfig with args in the sandbox."""
        return self.box.run([KIVCONFIG, *args], input=input, env=env, **sandbox_options)

    def env(self, **variables):
        """The test's environment with variables set (None removes one)."""
        env = dict(os.environ)
        for name, value in variables.items():
            if value is None:
                env.pop(name, None)
            else:
                env[name] = value
        return env

    def store(self):
        """The store's key/value pairs, or None when there is no store."""
        text = self.box.read(STORE)
        return None if text is None else parse_store(text)

    def log_messages(self):
        """The messages of the log, time stamps checked and removed."""
        return log_messages_of(self.box.read(LOG))

    def start_kivcd(self):
        result = self.box.run(["/etc/init.d/kivcd", "start"])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.box.run(["sh", "-c", ": > /var/log/kiv-initscripts.log"])

    def start_nscd(self):
        result = self.box.run(["/etc/init.d/nscd", "start"])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.box.run(["sh", "-c", ": > /var/log/kiv-initscripts.log"])

    def fail_init_script(self, name, action):
        self.box.write("/etc/init.d/.fail-%s-%s" % (name, action), "")
