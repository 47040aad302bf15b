"""Checks the Debian packages that cpack built into PACKAGE_DIR.

Usage: package_test.py PACKAGE_DIR packages_content|packages_lintian

packages_content unpacks both packages into one scratch root with dpkg -x,
compares their files and control fields with what is expected, compares the
file lists with those of `cmake --install` (the default and the "standins"
component), and runs the unpacked kivconfig from there with the stand-ins'
libkiv. packages_lintian runs lintian over both packages: no errors, and every
warning is one that the README lists with its reason.
"""

import glob
import os
import re
import subprocess
import sys
import tempfile
import unittest

PACKAGE_DIR = sys.argv[1] if len(sys.argv) > 1 else ""
BUILD = os.environ.get("KIV_BUILD_DIR", "")
SOURCE = os.environ.get("KIV_SOURCE_DIR", "")
MULTIARCH = subprocess.run(["dpkg-architecture", "-qDEB_HOST_MULTIARCH"], capture_output=True,
                           text=True, check=True).stdout.strip()
LIB = "usr/lib/" + MULTIARCH

# Every file and symbolic link of each package.
FILES = {
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
        "usr/share/doc/kivconfig/copyright",
        "usr/share/doc/kivconfig/changelog.Debian.gz",
    },
    "kivconfig-standins": {
        LIB + "/libkiv.so.0",
        "usr/sbin/kivcd",
        "etc/init.d/kivcd",
        "usr/bin/ombrel-server",
        "usr/share/doc/kivconfig-standins/copyright",
        "usr/share/doc/kivconfig-standins/changelog.Debian.gz",
    },
}

# (package, control field, pattern the value must match)
CONTROL = [
    ("kivconfig", "Section", r"admin$"),
    ("kivconfig", "Depends", r"(^|, )libkiv0(,|$)"),
    ("kivconfig", "Depends", r"(^|, )libldap-2\.5-0 \(>= [^)]+\)"),
    ("kivconfig", "Depends", r"(^|, )libc6 \(>= [^)]+\)"),
    ("kivconfig", "Description", r"^joins a Linux host to the Ombrel LDAP directory\n .+"),
    ("kivconfig-standins", "Provides", r"^libkiv0$"),
    ("kivconfig-standins", "Description", r"^stand-ins of the account services"),
]


def deb(package):
    found = glob.glob(os.path.join(PACKAGE_DIR, package + "_*.deb"))
    if len(found) != 1:
        raise AssertionError("expected one %s package in %s, found %s" %
                             (package, PACKAGE_DIR, found))
    return found[0]


def files_under(root):
    """The files and symbolic links under root, relative to it."""
    listed = set()
    for directory, _, names in os.walk(root):
        for name in names:
            listed.add(os.path.relpath(os.path.join(directory, name), root))
    return listed


class ContentTest(unittest.TestCase):

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="kiv-packages.")
        self.addCleanup(subprocess.run, ["rm", "-rf", self.root])

    def unpack(self, package):
        target = os.path.join(self.root, package)
        subprocess.run(["dpkg", "-x", deb(package), target], check=True)
        return target

    def test_files_match_the_install_rules(self):
        cases = [("kivconfig", []), ("kivconfig-standins", ["--component", "standins"])]
        for package, install_options in cases:
            with self.subTest(package=package):
                self.assertEqual(files_under(self.unpack(package)), FILES[package])
                destdir = os.path.join(self.root, "install-" + package)
                subprocess.run(["cmake", "--install", BUILD, "--prefix", "/usr", *install_options],
                               env=dict(os.environ, DESTDIR=destdir), check=True,
                               stdout=subprocess.DEVNULL)
                self.assertEqual(files_under(destdir), FILES[package])

    def test_control_fields(self):
        for package, field, pattern in CONTROL:
            with self.subTest(package=package, field=field):
                value = subprocess.run(["dpkg-deb", "--field", deb(package), field],
                                       capture_output=True, text=True, check=True).stdout
                self.assertRegex(value.rstrip("\n"), pattern)

    def test_unpacked_program_runs_with_its_private_libraries(self):
        root = os.path.join(self.root, "both")
        for package in FILES:
            subprocess.run(["dpkg", "-x", deb(package), root], check=True)
        program = os.path.join(root, "usr/sbin/kivconfig")
        dynamic = subprocess.run(["readelf", "--dynamic", program], capture_output=True,
                                 text=True, check=True).stdout
        self.assertIn("Library runpath: [$ORIGIN/../lib/%s/kivconfig]" % MULTIARCH, dynamic)
        env = dict(os.environ, LD_LIBRARY_PATH=os.path.join(root, LIB), LC_ALL="C")
        result = subprocess.run([program], capture_output=True, text=True, env=env)
        self.assertEqual((result.returncode, result.stdout), (1, ""))
        self.assertTrue(result.stderr.startswith("Usage:\n kivconfig  add -a <admin_fdn>"),
                        result.stderr)


class LintianTest(unittest.TestCase):

    def test_no_errors_and_only_the_warnings_the_readme_explains(self):
        result = subprocess.run(["lintian", "--tag-display-limit", "0",
                                 deb("kivconfig"), deb("kivconfig-standins")],
                                capture_output=True, text=True)
        tags = re.findall(r"^([EW]): (\S+): (\S+)", result.stdout, re.MULTILINE)
        self.assertEqual([t for t in tags if t[0] == "E"], [], result.stdout)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        with open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as readme:
            explained = set(re.findall(r"`([a-z0-9.+-]+)`", readme.read()))
        self.assertEqual({tag for _, _, tag in tags} - explained, set(),
                         "warnings that README.md does not list:\n" + result.stdout)


if __name__ == "__main__":
    test_class = {"packages_content": ContentTest, "packages_lintian": LintianTest}[sys.argv[2]]
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(test_class)
    sys.exit(0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1)
