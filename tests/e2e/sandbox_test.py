#!/usr/bin/python3
"""The sandbox leaves the machine alone: what runs inside changes nothing
outside, stand-in daemons do not outlive it, and its own state goes away.
What kivconfig needs of the sandbox and its stand-in services is exercised by
the other end-to-end tests. Exits 77 (skipped) when the sandbox cannot run."""

import os
import socket
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import sandbox  # noqa: E402
from sandbox import Sandbox  # noqa: E402

def tree_listing(top):
    """(path, mode, size, mtime) of everything under top, links not followed."""
    listing = []
    for directory, dirs, files in os.walk(top):
        for name in dirs + files:
            path = os.path.join(directory, name)
            st = os.lstat(path)
            listing.append((path, st.st_mode, st.st_size, st.st_mtime_ns))
    return sorted(listing)


# Marks the processes started by this test's sandbox calls: other tests may
# run stand-in daemons in their own sandboxes at the same time.
MARK = "KIV_SANDBOX_TEST_MARK=%d" % os.getpid()


def standin_processes():
    """Command lines of this test's stand-in daemons still running anywhere."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmdline = f.read().replace(b"\0", b" ").decode(errors="replace")
            with open("/proc/%s/environ" % pid, "rb") as f:
                environment = f.read().split(b"\0")
        except OSError:
            continue
        if MARK.encode() not in environment:
            continue
        if "/usr/sbin/kivcd -p" in cmdline or "/usr/sbin/nscd -p" in cmdline:
            found.append(cmdline)
    return found


def host_snapshot():
    with open("/proc/self/mountinfo") as f:
        mounts = f.read()
    with open("/etc/hostname") as f:
        etc_hostname = f.read()
    return {
        "etc": tree_listing("/etc"),
        "usr_sbin": sorted(os.listdir("/usr/sbin")),
        "var_lib": sorted(os.listdir("/var/lib")),
        "etc_hostname": etc_hostname,
        "hostname": socket.gethostname(),
        "mounts": mounts,
        "run": sorted(os.listdir("/run")),
    }


class HostUntouchedTest(unittest.TestCase):
    def setUp(self):
        sandbox.needs_root_or_userns()
        state = tempfile.TemporaryDirectory(prefix="kiv-sandbox-test.")
        self.addCleanup(state.cleanup)
        self.state_dir = state.name
        self.box = Sandbox(self.state_dir)

    def sh(self, script):
        name, value = MARK.split("=")
        return self.box.run(["sh", "-c", script], env=dict(os.environ, **{name: value}))

    def test_changes_inside_stay_inside(self):
        victim = next(n for n in sorted(os.listdir("/usr/sbin"))
                      if os.path.isfile(os.path.join("/usr/sbin", n)))
        before = host_snapshot()
        self.assertFalse(os.path.exists("/etc/kiv.conf"))
        result = self.sh(
            "echo preferred-server=ldap.example > /etc/kiv.conf && "
            "touch /etc/init.d/.fail-x && rm /usr/sbin/%s && hostname elsewhere && "
            "echo elsewhere > /etc/hostname && echo line > /var/lib/velmar-pelk/kiv.log && "
            "/etc/init.d/kivcd start && /etc/init.d/kivcd stop && /etc/init.d/kivcd start" % victim)
        self.assertEqual(result.returncode, 0, result.stderr)
        after = host_snapshot()
        for key in before:
            self.assertEqual(before[key], after[key], key)
        self.assertFalse(os.path.exists("/etc/kiv.conf"))
        self.assertEqual(standin_processes(), [])
        self.assertIn("preferred-server", self.box.read("/etc/kiv.conf"))

    def test_own_state_is_removed_and_never_kept_on_the_machine(self):
        env = dict(os.environ, TMPDIR=self.state_dir)
        result = subprocess.run([sandbox.SANDBOX, "touch", "/etc/kiv.conf"], env=env,
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(os.listdir(self.state_dir), [])
        result = subprocess.run([sandbox.SANDBOX, "--state", "/etc/kiv-state", "true"],
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertFalse(os.path.exists("/etc/kiv-state"))


if __name__ == "__main__":
    if not sandbox.sandbox_available():
        print("skipped: the sandbox needs root or unprivileged user namespaces")
        sys.exit(sandbox.CANNOT_RUN)
    unittest.main()
