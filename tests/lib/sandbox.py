"""Drives tests/sandbox from Python end-to-end tests.

A Sandbox names one state directory: every call made through it sees the
files and process-id files left by the calls before it, and nothing of the
machine's own files changes. The state directory must lie outside /etc, /var,
/usr/sbin and /run (a tempfile.TemporaryDirectory() under /tmp is right); the
caller owns and removes it.

KIVCONFIG is the kivconfig binary under test: $KIVCONFIG (set by CTest), or
build/src/kivconfig in the repository.
"""

import functools
import os
import signal
import subprocess
import tempfile
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SANDBOX = os.path.join(REPO, "tests", "sandbox")
KIVCONFIG = os.environ.get("KIVCONFIG") or os.path.join(REPO, "build", "src", "kivconfig")
INIT_LOG = "/var/log/kiv-initscripts.log"

# tests/sandbox exits with this status when the kernel refuses the namespaces.
CANNOT_RUN = 77


class Sandbox:
    def __init__(self, state_dir, hostname="kivhost", nscd=True):
        self.state_dir = state_dir
        self.hostname = hostname
        self.nscd = nscd

    def command(self, args, etc_size_kb=None, readonly_etc=False):
        """The full tests/sandbox command line that runs args inside."""
        cmd = [SANDBOX, "--state", self.state_dir, "--hostname", self.hostname]
        if not self.nscd:
            cmd.append("--no-nscd")
        if etc_size_kb is not None:
            cmd += ["--etc-size", str(etc_size_kb)]
        if readonly_etc:
            cmd.append("--readonly-etc")
        return cmd + ["--"] + [str(a) for a in args]

    def run(self, args, input=None, env=None, etc_size_kb=None, readonly_etc=False, timeout=120):
        """Runs args inside; returns a text-mode CompletedProcess with the
        captured output. On timeout the whole sandbox (daemons included) is
        killed and subprocess.TimeoutExpired is raised."""
        cmd = self.command(args, etc_size_kb, readonly_etc)
        # A session of its own lets a timeout kill the sandbox and everything
        # in it, not only the script that started it.
        with subprocess.Popen(
            cmd,
            stdin=subprocess.PIPE if input is not None else subprocess.DEVNULL,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            env=env,
            text=True,
            start_new_session=True,
        ) as proc:
            try:
                out, err = proc.communicate(input, timeout=timeout)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.communicate()
                raise
        return subprocess.CompletedProcess(cmd, proc.returncode, out, err)

    def read(self, path):
        """The text of path inside the sandbox, or None when it cannot be read."""
        result = self.run(["cat", "--", path])
        return result.stdout if result.returncode == 0 else None

    def exists(self, path):
        return self.run(["test", "-e", path]).returncode == 0

    def write(self, path, text, mode=0o644):
        """Writes text to path inside the sandbox, creating its directory;
        raises AssertionError when that fails."""
        script = 'mkdir -p "$(dirname "$1")" && cat > "$1" && chmod "$2" "$1"'
        result = self.run(["sh", "-c", script, "sh", path, format(mode, "o")], input=text)
        if result.returncode != 0:
            raise AssertionError("cannot write %s in the sandbox: %s" % (path, result.stderr))

    def init_calls(self):
        """The init-script calls so far, one "<name> <action>" string each."""
        return (self.read(INIT_LOG) or "").splitlines()


@functools.lru_cache(maxsize=None)
def sandbox_available():
    with tempfile.TemporaryDirectory(prefix="kiv-sandbox-probe.") as state:
        return Sandbox(state).run(["true"]).returncode != CANNOT_RUN


def needs_root_or_userns():
    """Raises unittest.SkipTest when the sandbox cannot run on this machine."""
    if not sandbox_available():
        raise unittest.SkipTest("the sandbox needs root or unprivileged user namespaces")
