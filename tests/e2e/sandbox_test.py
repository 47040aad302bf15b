"""The sandbox leaves the machine, daemons and its own state behind it alone."""

import os
import socket
import subprocess

from kivtest import SANDBOX, SandboxTest

# Marks this test's processes: other tests run stand-in daemons meanwhile.
MARK = "KIV_SANDBOX_TEST_MARK"


def standin_daemons():
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as environ, \
                    open("/proc/%s/cmdline" % pid, "rb") as cmdline:
                if (MARK + "=%d" % os.getpid()).encode() in environ.read().split(b"\0"):
                    found.append(cmdline.read().replace(b"\0", b" ").decode())
        except OSError:
            continue
    return [line for line in found if "/usr/sbin/kivcd -p" in line or "/usr/sbin/nscd -p" in line]


def host_snapshot():
    listing = sorted((path, st.st_mode, st.st_size, st.st_mtime_ns) for path, st in (
        (p, os.lstat(p)) for top, dirs, files in os.walk("/etc")
        for p in (os.path.join(top, n) for n in dirs + files)))
    with open("/proc/self/mountinfo") as mounts, open("/etc/hostname") as hostname:
        return [listing, mounts.read(), hostname.read(), socket.gethostname(),
                sorted(os.listdir("/usr/sbin")), sorted(os.listdir("/var/lib")),
                sorted(os.listdir("/run"))]


class HostUntouched(SandboxTest):
    def test_changes_inside_stay_inside(self):
        victim = next(n for n in sorted(os.listdir("/usr/sbin"))
                      if os.path.isfile(os.path.join("/usr/sbin", n)))
        before = host_snapshot()
        result = self.box.sh(
            "echo preferred-server=x > /etc/kiv.conf && touch /etc/init.d/.fail-x && "
            "rm /usr/sbin/$1 && hostname elsewhere && echo elsewhere > /etc/hostname && "
            "echo line > /var/lib/velmar-pelk/kiv.log && /etc/init.d/kivcd start && "
            "/etc/init.d/kivcd stop && /etc/init.d/kivcd start && /etc/init.d/nscd start",
            victim, env={MARK: str(os.getpid())})
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(host_snapshot(), before)
        self.assertEqual(standin_daemons(), [])
        self.assertEqual(self.box.read("/etc/kiv.conf"), "preferred-server=x\n")

    def test_own_state_is_removed_and_never_kept_on_the_machine(self):
        result = subprocess.run([SANDBOX, "touch", "/etc/kiv.conf"], capture_output=True,
                                env=dict(os.environ, TMPDIR=self.tmp), text=True, timeout=60)
        self.assertEqual((result.returncode, os.listdir(self.tmp)), (0, []), result.stderr)
        result = subprocess.run([SANDBOX, "--state", "/etc/kiv-state", "true"],
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertFalse(os.path.exists("/etc/kiv-state"))
