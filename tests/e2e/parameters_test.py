"""get, get help, set and cache_refresh end to end."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import ALREADY_REPORTED_STATUS, STORE, SandboxTest  # noqa: E402
from sandbox import KIVCONFIG  # noqa: E402

CACHE_FILES = [".refresh_info", ".user_info.dir", ".user_info.pag", ".group_info.dir",
               ".group_info.pag"]


class GetAndSet(SandboxTest):
    def setUp(self):
        super().setUp()
        result = self.kiv("simple_add", "-r", "o=corp", "-S", "old.example", "-y",
                          "cn=proxy,o=corp", "-d", "hush")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.box.run(["sh", "-c", ": > /var/log/kiv-initscripts.log"])

    def test_get_lists_with_the_password_masked(self):
        result = self.kiv("get")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("preferred-server=old.example\n", result.stdout)
        self.assertIn("proxy-user-pwd=", result.stdout)
        self.assertNotIn("hush", result.stdout)
        named = self.kiv("get", "base-name", "-vldap-port")
        self.assertEqual(named.stdout, "base-name=o=corp\nldap-port=389\n")

    def test_get_help_explains(self):
        result = self.kiv("get", "help", "preferred-server")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("preferred-server", result.stdout)
        self.assertEqual(len(result.stdout.splitlines()), 1)
        self.assertGreater(len(self.kiv("get", "help").stdout.splitlines()), 20)

    def test_unknown_parameter_fails_without_a_closing_message(self):
        result = self.kiv("get", "no-such-key")
        self.assertEqual(result.returncode, ALREADY_REPORTED_STATUS)
        self.assertIn("no-such-key", result.stdout + result.stderr)

    def test_set_preferred_server_restarts_the_daemons(self):
        self.start_kivcd()
        result = self.kiv("set", "PREFERRED-SERVER=new.example")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "Updated the preferred server successfully\n")
        self.assertIn(("preferred-server", "new.example"), self.store())
        self.assertEqual(self.box.init_calls(), ["kivcd stop", "kivcd start"])

    def test_set_checks_every_word_before_writing(self):
        before = self.box.read(STORE)
        for words in (["num-threads=7", "cache-only=maybe"], ["ldap-port=70000"],
                      ["no-such-key=1"]):
            with self.subTest(words=words):
                result = self.kiv("set", *words)
                self.assertEqual(result.returncode, ALREADY_REPORTED_STATUS)
                self.assertEqual(self.box.read(STORE), before)
        self.assertEqual(self.log_messages(), [])

    def test_set_other_parameters(self):
        result = self.kiv("set", "num-threads=7", "-scache-only=yes")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        store = self.store()
        self.assertIn(("num-threads", "7"), store)
        self.assertIn(("cache-only", "yes"), store)
        self.assertEqual(self.box.init_calls(), [])

    def test_missing_value_stops_after_earlier_server_change(self):
        result = self.kiv("set", "preferred-server=x", "a=")
        self.assertEqual(result.returncode, ALREADY_REPORTED_STATUS)
        self.assertEqual(result.stdout, "Updated the preferred server successfully\n"
                                        "Value missing for the parameter :a\n")
        self.assertIn(("preferred-server", "x"), self.store())
        # simple_add started kivcd; its process-id file outlived the sandbox call.
        self.assertEqual(self.box.init_calls(), ["kivcd stop", "kivcd start"])

    def test_failed_save_of_the_server_restarts_nothing(self):
        before = self.box.read(STORE)
        script = ('dd if=/dev/zero of=/etc/filler bs=1k 2>/dev/null; '
                  'exec "$0" set preferred-server=' + "n" * 63 + ".example")
        result = self.box.run(["sh", "-c", script, KIVCONFIG], etc_size_kb=256)
        self.assertEqual(result.returncode, ALREADY_REPORTED_STATUS)
        self.assertIn("Unable to save /etc/kiv.conf: No space left on device", result.stdout)
        self.assertNotIn("Updated", result.stdout)
        self.assertEqual(self.box.read(STORE), before)
        self.assertEqual(self.box.init_calls(), [])


class CacheRefresh(SandboxTest):
    def make_cache(self):
        paths = " ".join("/var/lib/velmar-pelk/" + name for name in CACHE_FILES)
        self.box.run(["sh", "-c", "touch " + paths])

    def cache_left(self):
        listing = self.box.run(["ls", "-a", "/var/lib/velmar-pelk"]).stdout.split()
        return [name for name in CACHE_FILES if name in listing]

    def test_running_kivcd_is_stopped_around_the_removal(self):
        self.start_kivcd()
        self.make_cache()
        result = self.kiv("cache_refresh")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout, "")
        self.assertEqual(self.cache_left(), [])
        self.assertEqual(self.box.init_calls(), ["kivcd stop", "kivcd start"])

    def test_stopped_kivcd_is_left_stopped(self):
        self.make_cache()
        self.assertEqual(self.kiv("cache_refresh").returncode, 0)
        self.assertEqual(self.cache_left(), [])
        self.assertEqual(self.box.init_calls(), [])

    def test_failed_stop_still_empties_the_cache(self):
        self.start_kivcd()
        self.make_cache()
        self.fail_init_script("kivcd", "stop")
        result = self.kiv("cache_refresh")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout, "Could not stop kivcd daemon\n")
        self.assertEqual(self.cache_left(), [])
        self.assertEqual(self.box.init_calls(), ["kivcd stop (failing)"])


if __name__ == "__main__":
    unittest.main()
