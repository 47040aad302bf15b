"""Builds the Debian packages as Debian builds them and checks them.

Usage: package_test.py WORK_DIR build|content|lintian|hardening|purge

build copies the source tree (the files git knows, committed or not) to
WORK_DIR/kivconfig and runs dpkg-buildpackage there, so that the packages land
in WORK_DIR and the source tree stays clean. content compares the packages'
files with `cmake --install` and checks their control fields; lintian wants no
errors and no warnings (the overrides ship in the packages, each with its
reason); hardening runs hardening-check on the binaries; purge installs both
packages with apt-get in tests/sandbox over a copy of /usr, runs simple_add,
purges them and finds nothing left.
"""

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

WORK = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else ""
BUILD = os.environ.get("KIV_BUILD_DIR", "")
SOURCE = os.environ.get("KIV_SOURCE_DIR", "")
MULTIARCH = subprocess.run(["dpkg-architecture", "-qDEB_HOST_MULTIARCH"], capture_output=True,
                           text=True, check=True).stdout.strip()
LIB = "usr/lib/" + MULTIARCH

# Every file and symbolic link of each package; the documents and the lintian
# overrides come from debian/, the rest from `cmake --install`.
DEBIAN_FILES = {
    "kivconfig": {
        "usr/share/doc/kivconfig/copyright",
        "usr/share/doc/kivconfig/changelog.Debian.gz",
        "usr/share/lintian/overrides/kivconfig",
    },
    "kivconfig-standins": {
        "usr/share/doc/kivconfig-standins/copyright",
        "usr/share/doc/kivconfig-standins/changelog.Debian.gz",
        "usr/share/lintian/overrides/kivconfig-standins",
    },
}
INSTALLED_FILES = {
    "kivconfig": {
        "usr/sbin/kivconfig",
        LIB + "/kivconfig/libldapssl.so.0",
        LIB + "/kivconfig/libldapssl.so.0.1",
        LIB + "/kivconfig/libldapx.so.0",
        LIB + "/kivconfig/libldapx.so.0.1",
        "var/lib/velmar-pelk/kiv.ldif",
        "var/lib/velmar-pelk/kivid.ldif",
        "usr/share/man/man8/kivconfig.8.gz",
        "usr/share/bash-completion/completions/kivconfig",
        "usr/share/locale/de/LC_MESSAGES/velmar-pelk.mo",
    },
    "kivconfig-standins": {
        LIB + "/libkiv.so.0",
        "usr/sbin/kivcd",
        "etc/init.d/kivcd",
        "usr/bin/ombrel-server",
    },
}

# (package, control field, pattern the value must match)
CONTROL = [
    ("kivconfig", "Section", r"admin$"),
    ("kivconfig", "Depends", r"(^|, )libkiv0(,|$)"),
    ("kivconfig", "Depends", r"(^|, )kivcd(,|$)"),
    ("kivconfig", "Depends", r"(^|, )libldap-2\.5-0 \(>= [^)]+\)"),
    ("kivconfig", "Suggests", r"^nscd$"),
    ("kivconfig", "Description", r"^joins a Linux host to the Ombrel LDAP directory\n .+"),
    ("kivconfig-standins", "Provides", r"^kivcd, libkiv0$"),
]

# (file, hardening-check options, why a check is left out). Bookworm's C
# library start files carry no control-flow-protection marking, so no binary
# linked there has it (/bin/ls fails the same way).
HARDENING = [
    ("usr/sbin/kivconfig", ["--nocfprotection"]),
    (LIB + "/libkiv.so.0", ["--nocfprotection"]),
    # Every call of the SDK extensions that fortify covers is one the compiler
    # proves in bounds, so none is left to check at run time (see the
    # lintian override).
    (LIB + "/kivconfig/libldapssl.so.0.1", ["--nocfprotection", "--nofortify"]),
    (LIB + "/kivconfig/libldapx.so.0.1", ["--nocfprotection", "--nofortify"]),
]

# What install, simple_add and purge may leave in the sandbox's layers besides
# the package manager's own records of the machine's existing files: man-db's
# cache tags for languages the machine had no cache for.
LEFT_BY_THE_MACHINE = re.compile(r"^/var/cache/man/")


def deb(package):
    found = glob.glob(os.path.join(WORK, package + "_*.deb"))
    if len(found) != 1:
        raise AssertionError("expected one %s package in %s, found %s" % (package, WORK, found))
    return found[0]


def files_under(root):
    """The files and symbolic links under root, relative to it."""
    listed = set()
    for directory, _, names in os.walk(root):
        for name in names:
            listed.add(os.path.relpath(os.path.join(directory, name), root))
    return listed


def project_version():
    with open(os.path.join(BUILD, "CMakeCache.txt"), encoding="utf-8") as cache:
        return re.search(r"^CMAKE_PROJECT_VERSION:\w+=(.*)$", cache.read(), re.M)[1]


def build():
    shutil.rmtree(WORK, ignore_errors=True)
    tree = os.path.join(WORK, "kivconfig")
    listed = subprocess.run(["git", "-C", SOURCE, "ls-files", "-z", "--cached", "--others",
                             "--exclude-standard"], capture_output=True, text=True, check=True)
    for name in filter(None, listed.stdout.split("\0")):
        source = os.path.join(SOURCE, name)
        if os.path.lexists(source):
            os.makedirs(os.path.dirname(os.path.join(tree, name)), exist_ok=True)
            shutil.copy2(source, os.path.join(tree, name), follow_symlinks=False)
    env = {k: v for k, v in os.environ.items()
           if k not in ("DESTDIR", "MAKEFLAGS", "MFLAGS", "DEB_BUILD_OPTIONS")}
    started = time.monotonic()
    with open(os.path.join(WORK, "build.log"), "w", encoding="utf-8") as log:
        result = subprocess.run(["dpkg-buildpackage", "-us", "-uc", "-b", "-j2"], cwd=tree,
                                env=env, stdout=log, stderr=subprocess.STDOUT)
    print("dpkg-buildpackage: status %d after %.0f s (log: %s)" %
          (result.returncode, time.monotonic() - started, os.path.join(WORK, "build.log")))
    return result.returncode


class ContentTest(unittest.TestCase):

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="kiv-packages.")
        self.addCleanup(shutil.rmtree, self.root)

    def test_files_match_the_install_rules(self):
        cases = [("kivconfig", []), ("kivconfig-standins", ["--component", "standins"])]
        for package, install_options in cases:
            with self.subTest(package=package):
                deb(package + "-dbgsym")
                unpacked = os.path.join(self.root, package)
                subprocess.run(["dpkg", "-x", deb(package), unpacked], check=True)
                self.assertEqual(files_under(unpacked),
                                 INSTALLED_FILES[package] | DEBIAN_FILES[package])
                destdir = os.path.join(self.root, "install-" + package)
                subprocess.run(["cmake", "--install", BUILD, "--prefix", "/usr", *install_options],
                               env=dict(os.environ, DESTDIR=destdir), check=True,
                               stdout=subprocess.DEVNULL)
                self.assertEqual(files_under(destdir), INSTALLED_FILES[package])

    def test_control_fields(self):
        rows = CONTROL + [(package, "Version", r"^%s-\d+$" % re.escape(project_version()))
                          for package in INSTALLED_FILES]
        for package, field, pattern in rows:
            with self.subTest(package=package, field=field):
                control = subprocess.run(["dpkg-deb", "--field", deb(package), field],
                                         capture_output=True, text=True, check=True).stdout
                self.assertRegex(control.rstrip("\n"), pattern)

    def test_unpacked_program_runs_with_its_private_libraries(self):
        for package in INSTALLED_FILES:
            subprocess.run(["dpkg", "-x", deb(package), self.root], check=True)
        program = os.path.join(self.root, "usr/sbin/kivconfig")
        env = dict(os.environ, LD_LIBRARY_PATH=os.path.join(self.root, LIB), LC_ALL="C")
        result = subprocess.run([program, "--version"], capture_output=True, text=True, env=env)
        self.assertEqual((result.returncode, result.stdout),
                         (0, "kivconfig %s\n" % project_version()), result.stderr)


class LintianTest(unittest.TestCase):

    def test_no_errors_and_no_warnings(self):
        changes = glob.glob(os.path.join(WORK, "kivconfig_*.changes"))
        result = subprocess.run(["lintian", "--pedantic", "--tag-display-limit", "0", *changes],
                                capture_output=True, text=True)
        self.assertEqual(re.findall(r"^[EW]: .*", result.stdout, re.M), [], result.stdout)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_every_override_gives_its_reason(self):
        for path in glob.glob(os.path.join(SOURCE, "debian", "*.lintian-overrides")):
            with open(path, encoding="utf-8") as overrides:
                previous = ""  # overrides follow their reason, a comment, without a gap
                for line in overrides.read().splitlines():
                    if line and not line.startswith("#"):
                        self.assertNotEqual(previous, "", "%s: %s" % (path, line))
                    previous = line


class HardeningTest(unittest.TestCase):

    def test_hardening_check(self):
        root = tempfile.mkdtemp(prefix="kiv-hardening.")
        self.addCleanup(shutil.rmtree, root)
        for package in INSTALLED_FILES:
            subprocess.run(["dpkg", "-x", deb(package), root], check=True)
        for path, options in HARDENING:
            with self.subTest(path=path):
                result = subprocess.run(["hardening-check", *options, os.path.join(root, path)],
                                        capture_output=True, text=True)
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                sections = subprocess.run(["readelf", "-SW", os.path.join(root, path)],
                                          capture_output=True, text=True, check=True).stdout
                self.assertNotIn(".comment", sections)


# Runs inside the sandbox: the README's install command, a join, the purge.
PURGE_SCRIPT = r"""
set -e
cd "$1"
# The machine's own policy may forbid starting services; a real host's does not.
rm -f /usr/sbin/policy-rc.d
apt-get install -y -q ./kivconfig_*.deb ./kivconfig-standins_*.deb >/dev/null
echo o=corp | /usr/sbin/kivconfig simple_add -S dir.example
touch /var/lib/velmar-pelk/.dir.example.der
# A name that the C locale cannot convert is logged.
LC_ALL=C /usr/sbin/kivconfig rm -a "$(printf 'cn=\351')" || true
test -s /etc/kiv.conf && test -e /etc/kiv.conf.lock && test -s /var/lib/velmar-pelk/kiv.log
dpkg --purge kivconfig kivconfig-standins >/dev/null
"""


class PurgeTest(unittest.TestCase):

    def test_purge_leaves_nothing(self):
        if os.geteuid() != 0:
            self.skipTest("installing packages in the sandbox needs root")
        state = tempfile.mkdtemp(prefix="kiv-purge.")
        self.addCleanup(shutil.rmtree, state)
        result = subprocess.run([os.path.join(SOURCE, "tests", "sandbox"), "--usr", "--state",
                                 state, "--", "sh", "-c", PURGE_SCRIPT, "sh", WORK],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Starting the service 'kivcd'... Done.", result.stderr)
        left = []
        for layer, mount in [("etc/upper", "/etc"), ("var/upper", "/var"), ("usr/upper", "/usr"),
                             ("run", None)]:
            for name in files_under(os.path.join(state, layer)):
                path = os.path.join(mount or "/run", name)
                if mount is None or not os.path.lexists(path):
                    left.append(path)
        self.assertEqual([path for path in left if not LEFT_BY_THE_MACHINE.match(path)], [])


if __name__ == "__main__":
    if sys.argv[2] == "build":
        sys.exit(1 if build() else 0)
    test_class = {"content": ContentTest, "lintian": LintianTest, "hardening": HardeningTest,
                  "purge": PurgeTest}[sys.argv[2]]
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(test_class)
    sys.exit(0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1)
