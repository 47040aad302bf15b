#!/usr/bin/python3
"""The sandbox leaves the machine alone, and its stand-in services behave like
the daemons kivconfig drives. Exits 77 (skipped) when the sandbox cannot run."""

import os
import socket
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import sandbox  # noqa: E402
from sandbox import Sandbox  # noqa: E402

KIVCD_PID = "/var/run/velmar-pelk/kivcd.pid"


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


class SandboxTestCase(unittest.TestCase):
    def setUp(self):
        sandbox.needs_root_or_userns()
        state = tempfile.TemporaryDirectory(prefix="kiv-sandbox-test.")
        self.addCleanup(state.cleanup)
        self.state_dir = state.name
        self.box = Sandbox(self.state_dir)

    def sh(self, script, box=None, **kwargs):
        name, value = MARK.split("=")
        kwargs.setdefault("env", dict(os.environ, **{name: value}))
        return (box or self.box).run(["sh", "-c", script], **kwargs)


class HostUntouchedTest(SandboxTestCase):
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


class StandinServiceTest(SandboxTestCase):
    def test_start_and_stop(self):
        result = self.sh(
            "/etc/init.d/kivcd start || exit 10; pid=$(cat %s) || exit 11; "
            "kill -0 $pid || exit 12; /etc/init.d/kivcd status || exit 13; "
            "/etc/init.d/kivcd stop || exit 14; test ! -e %s || exit 15; "
            "kill -0 $pid 2>/dev/null && exit 16; "
            "/etc/init.d/kivcd status; test $? = 3 || exit 17; "
            "/etc/init.d/kivcd stop || exit 18" % (KIVCD_PID, KIVCD_PID))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(self.box.init_calls(), [
            "kivcd start", "kivcd status", "kivcd stop", "kivcd status", "kivcd stop"])

    def test_restart_replaces_the_daemon(self):
        result = self.sh("/etc/init.d/nscd start && cat /var/run/nscd/nscd.pid && "
                         "/etc/init.d/nscd restart && cat /var/run/nscd/nscd.pid")
        self.assertEqual(result.returncode, 0, result.stderr)
        first, second = result.stdout.split()
        self.assertNotEqual(first, second)

    def test_daemon_killed_with_the_sandbox_leaves_a_stale_pid_file(self):
        self.assertEqual(self.sh("/etc/init.d/kivcd start").returncode, 0)
        self.assertEqual(standin_processes(), [])
        self.assertTrue(self.box.exists(KIVCD_PID))
        self.assertEqual(self.sh("/etc/init.d/kivcd status").returncode, 3)
        self.assertEqual(self.sh("/etc/init.d/kivcd stop").returncode, 0)
        self.assertFalse(self.box.exists(KIVCD_PID))

    def test_fault_file_fails_the_call(self):
        result = self.sh("touch /etc/init.d/.fail-kivcd-stop && /etc/init.d/kivcd start && "
                         "{ /etc/init.d/kivcd stop; echo $?; } && kill -0 $(cat %s)" % KIVCD_PID)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "1\n")
        self.assertEqual(self.box.init_calls(), ["kivcd start", "kivcd stop (failing)"])


class SandboxOptionsTest(SandboxTestCase):
    def test_first_use_installs_the_host_files(self):
        result = self.sh("hostname; cat /etc/hostname; stat -c %a /var/lib/velmar-pelk; "
                         "test -x /usr/sbin/kivcd && test -x /usr/sbin/nscd && "
                         "test -x /etc/init.d/kivcd && test -x /etc/init.d/nscd && "
                         "test -f /var/log/kiv-initscripts.log && "
                         "test ! -s /var/log/kiv-initscripts.log && "
                         "test ! -e /etc/kiv.conf && test ! -e /var/lib/velmar-pelk/kiv.log")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "kivhost\nkivhost\n755\n")
        for schema in ("kiv.ldif", "kivid.ldif"):
            shipped = os.path.join(sandbox.REPO, "data", schema)
            if os.path.exists(shipped):
                with open(shipped) as f:
                    self.assertEqual(self.box.read("/var/lib/velmar-pelk/" + schema), f.read())

    def test_state_persists_and_options_apply_per_call(self):
        self.box.write("/etc/kiv.conf", "a=1\n", mode=0o600)
        self.assertEqual(self.box.read("/etc/kiv.conf"), "a=1\n")
        self.assertEqual(self.sh("stat -c %a /etc/kiv.conf").stdout, "600\n")
        renamed = Sandbox(self.state_dir, hostname="other.example", nscd=False)
        result = self.sh("hostname; test -e /usr/sbin/nscd || echo no-nscd; cat /etc/kiv.conf",
                         box=renamed)
        self.assertEqual(result.stdout, "other.example\nno-nscd\na=1\n")

    def test_full_etc_loses_nothing(self):
        self.box.write("/etc/kiv.conf", "old\n")
        result = self.sh("head -c 1048576 /dev/zero > /etc/big", etc_size_kb=256)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("No space left on device", result.stderr)
        self.assertEqual(self.box.read("/etc/kiv.conf"), "old\n")
        self.assertEqual(self.sh("echo new > /etc/kiv.conf", etc_size_kb=256).returncode, 0)
        self.assertEqual(self.box.read("/etc/kiv.conf"), "new\n")

    def test_readonly_etc(self):
        result = self.sh("echo x > /etc/kiv.conf", readonly_etc=True)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("Read-only file system", result.stderr)
        self.assertEqual(self.sh("echo x > /var/lib/velmar-pelk/kiv.log",
                                 readonly_etc=True).returncode, 0)

    def test_any_host_name_the_kernel_takes(self):
        for name in ("a*", "a,b", "a\\2c", "(x)", "#x", " x", "*", "-n", "x" * 64):
            box = Sandbox(self.state_dir, hostname=name)
            result = self.sh("hostname; cat /etc/hostname", box=box)
            self.assertEqual(result.stdout, name + "\n" + name + "\n", name)

    def test_passes_input_output_and_status_through(self):
        result = self.sh("cat; echo err >&2; exit 7", input="typed answer\n")
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (7, "typed answer\n", "err\n"))

    def test_temporary_state_is_removed(self):
        env = dict(os.environ, TMPDIR=self.state_dir)
        result = subprocess.run([sandbox.SANDBOX, "touch", "/etc/kiv.conf"], env=env,
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(os.listdir(self.state_dir), [])

    def test_bad_command_lines(self):
        for args in ([], ["--state", "/etc/kiv-state", "true"], ["--etc-size", "0", "true"],
                     ["--hostname", "", "true"], ["--hostname", "x" * 65, "true"],
                     ["--hostname", "\u00e9" * 33, "true"], ["--bogus", "true"]):
            result = subprocess.run([sandbox.SANDBOX] + args, capture_output=True, text=True,
                                    timeout=60)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn("usage:", result.stderr)
        self.assertFalse(os.path.exists("/etc/kiv-state"))


if __name__ == "__main__":
    if not sandbox.sandbox_available():
        print("skipped: the sandbox needs root or unprivileged user namespaces")
        sys.exit(sandbox.CANNOT_RUN)
    unittest.main()
