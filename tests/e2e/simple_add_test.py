"""simple_add end to end: the store it writes and the daemons it restarts."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import STORE, SandboxTest  # noqa: E402
from sandbox import KIVCONFIG  # noqa: E402

TAIL = [("user-hash-size", "211"), ("group-hash-size", "211"),
        ("persistent-cache-refresh-period", "28800"), ("persistent-cache-refresh-flag", "all")]
HOST_KEYS = [("create-home", "yes"), ("support-alias-name", "no"),
             ("support-outside-base-context", "yes")]
CACHE_KEYS = [("persistent-search", "yes"), ("case-sensitive", "no")]


class StoreWritten(SandboxTest):
    def test_plain(self):
        result = self.kiv("simple_add", "-r", "o=corp", "-S", "dir.example")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "")
        self.assertEqual(self.store(), [
            ("base-name", "o=corp"), ("ldap-port", "389"), ("preferred-server", "dir.example"),
            ("schema", "rfc2307"), ("num-threads", "5"), ("enable-persistent-cache", "yes"),
            *TAIL, ("type-of-authentication", "1"), *HOST_KEYS, ("cache-only", "no"),
            *CACHE_KEYS])
        mode = self.box.run(["stat", "-c", "%a", STORE]).stdout.strip()
        self.assertEqual(mode, "600")
        # simple_add has no closing message and logs nothing.
        self.assertEqual(self.log_messages(), [])

    def test_every_optional_key(self):
        result = self.kiv("simple_add", "-r", "o=corp", "-S", "dir.example:1389", "-l", "1636",
                          "-R", "a:1,b", "-c", "-y", "cn=proxy,o=corp", "-d", "pw")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.store(), [
            ("base-name", "o=corp"), ("ldap-port", "1389"), ("ldap-ssl-port", "1636"),
            ("certificate-file-type", "der"), ("preferred-server", "dir.example"),
            ("schema", "rfc2307"), ("alternative-ldap-server-list", "a:1,b"),
            ("num-threads", "5"), ("enable-persistent-cache", "yes"), *TAIL,
            ("type-of-authentication", "2"), *HOST_KEYS, ("proxy-user-fdn", "cn=proxy,o=corp"),
            ("proxy-user-pwd", "pw"), ("cache-only", "yes"), *CACHE_KEYS])

    def test_proxy_user_needs_both_options(self):
        self.kiv("simple_add", "-r", "o=corp", "-S", "h", "-y", "cn=proxy,o=corp")
        keys = [key for key, _ in self.store()]
        self.assertNotIn("proxy-user-fdn", keys)
        self.assertNotIn("proxy-user-pwd", keys)

    def test_server_prompt_defaults_to_localhost(self):
        result = self.kiv("simple_add", "-r", "o=corp", input="")
        self.assertEqual(result.stdout, "Enter LDAP server:")
        self.assertIn(("preferred-server", "localhost"), self.store())

    def test_admin_edits_survive(self):
        self.box.write(STORE, "# kept by the administrator\nlocal-key=1\n\nldap-port=1\n",
                       mode=0o644)
        self.kiv("simple_add", "-r", "o=corp", "-S", "h")
        text = self.box.read(STORE)
        self.assertTrue(text.startswith("# kept by the administrator\nlocal-key=1\n\nldap-port=389\n"),
                        text)
        mode = self.box.run(["stat", "-c", "%a", STORE]).stdout.strip()
        self.assertEqual(mode, "600")


class FullFileSystem(SandboxTest):
    def test_failed_save_keeps_the_old_store_and_the_daemons(self):
        self.assertEqual(self.kiv("simple_add", "-r", "o=corp", "-S", "old").returncode, 0)
        before = self.box.read(STORE)
        self.box.run(["sh", "-c", ": > /var/log/kiv-initscripts.log"])
        # Fill what is left of the small /etc, then configure again.
        script = ('dd if=/dev/zero of=/etc/filler bs=1k 2>/dev/null; '
                  'exec "$0" simple_add -r o=corp -S new -R ' + "x" * 3000)
        result = self.box.run(["sh", "-c", script, KIVCONFIG], etc_size_kb=256)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("Unable to save /etc/kiv.conf: No space left on device", result.stdout)
        self.assertEqual(self.box.read(STORE), before)
        self.assertEqual(self.box.init_calls(), [])
        leftovers = self.box.run(["sh", "-c", "ls -a /etc | grep kiv"]).stdout.split()
        # The writers' lock file stays; no temporary file does.
        self.assertEqual(leftovers, ["kiv.conf", "kiv.conf.lock"])

    def test_read_only_file_system(self):
        result = self.kiv("simple_add", "-r", "o=corp", "-S", "h", readonly_etc=True)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("Unable to save /etc/kiv.conf: Read-only file system", result.stdout)
        self.assertIsNone(self.store())


class Services(SandboxTest):
    """The restart's special cases; add's end-to-end table shows both running
    daemons stopped and started."""

    def test_kivcd_not_running_is_only_started(self):
        self.kiv("simple_add", "-r", "o=corp", "-S", "h")
        self.assertEqual(self.box.init_calls(), ["kivcd start"])

    def test_failed_stop_of_nscd_starts_kivcd_only(self):
        self.start_kivcd()
        self.start_nscd()
        self.fail_init_script("nscd", "stop")
        result = self.kiv("simple_add", "-r", "o=corp", "-S", "h")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(self.box.init_calls(),
                         ["kivcd stop", "nscd stop (failing)", "kivcd start"])
        self.assertIn("Error: Cannot stop 'nscd', stop manually.\n", result.stderr)
        self.assertEqual(result.stdout, "Could not stop nscd daemon\n")

    def test_failed_start_is_reported_and_not_retried(self):
        self.fail_init_script("kivcd", "start")
        result = self.kiv("simple_add", "-r", "o=corp", "-S", "h")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stderr, "Starting the service 'kivcd'... "
                                        "Error: Cannot start 'kivcd', start manually.\n")


class WithoutNscd(SandboxTest):
    nscd = False

    def test_only_kivcd_is_restarted(self):
        self.start_kivcd()
        self.kiv("simple_add", "-r", "o=corp", "-S", "h")
        self.assertEqual(self.box.init_calls(), ["kivcd stop", "kivcd start"])


if __name__ == "__main__":
    unittest.main()
