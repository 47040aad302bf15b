"""The front end of the real binary: command words, exit statuses, prompts
and the log."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import BUILD, SandboxTest  # noqa: E402


class CommandWords(SandboxTest):
    def assertUsage(self, result, status):
        # Asked-for help goes to standard output, a refused line's to standard error.
        shown, other = (result.stdout, result.stderr) if status == 0 else (result.stderr,
                                                                           result.stdout)
        self.assertEqual(result.returncode, status, result.stderr)
        self.assertIn("Usage:\n kivconfig  add -a <admin_fdn>", shown)
        self.assertIn(" kivconfig cache_refresh\n", shown)
        self.assertNotIn("Usage:", other)

    def test_help_words_and_rejected_lines(self):
        # One sandbox call tries every line; each prints its status after it.
        lines = [[], ["--h"], ["--he"], ["-?"], ["--help"], ["-h"], ["frobnicate"], ["add", "rm"],
                 ["get", "set"], ["add", "-r", "add"], ["add", "-k"], ["simple_add", "-o"],
                 ["simple_add", "-a", "x"], ["add", "-x"], ["add", "-r"], ["set"],
                 ["set", "-sa=1"], ["set", "a=1", "b"], ["get", "a=1"], ["get", "help", "a=1"]]
        expected = [1, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1]
        for words, status in zip(lines, expected):
            with self.subTest(words=words):
                self.assertUsage(self.kiv(*words), status)

    def test_version_is_the_projects(self):
        with open(os.path.join(BUILD, "CMakeCache.txt"), encoding="utf-8") as cache:
            version = re.search(r"^CMAKE_PROJECT_VERSION:\w+=(.*)$", cache.read(), re.M)[1]
        result = self.kiv("--version")
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (0, "kivconfig %s\n" % version, ""))

    def test_unknown_option_names_the_command(self):
        result = self.kiv("add", "-x")
        self.assertRegex(result.stderr, r"^add: invalid option -- 'x'\n")

    def test_rm_on_a_host_never_configured(self):
        result = self.kiv("rm", "remove")
        self.assertEqual(result.returncode, 140)  # -6004
        self.assertEqual(result.stdout, "Velmar Account Management is not configured\n")
        self.assertEqual(self.log_messages(), ["Velmar Account Management is not configured"])
        self.assertIsNone(self.store())

    def test_messages_still_shown_without_a_log_directory(self):
        self.box.run(["rm", "-rf", "/var/lib/velmar-pelk"])
        result = self.kiv("rm")
        self.assertEqual(result.stdout, "Velmar Account Management is not configured\n")
        self.assertFalse(self.box.exists("/var/lib/velmar-pelk"))

    def test_direct_commands_parse_no_options(self):
        # -k with an option word that would be invalid for add runs -k itself.
        result = self.kiv("-k", "-S", "host", "-Q")
        self.assertNotIn("Usage:", result.stderr)


class Prompts(SandboxTest):
    def test_add_asks_for_the_missing_names(self):
        result = self.kiv("add", "-S", "127.0.0.1", input="  \n\n o=corp\nou=ws,o=corp\n")
        self.assertTrue(result.stdout.startswith(
            "Enter KIV partition root:Enter workstation context:"), result.stdout)

    def test_add_with_both_names_asks_nothing(self):
        result = self.kiv("add", "-r", "o=corp", "-w", "ou=ws,o=corp", "-S", "127.0.0.1", input="")
        self.assertNotIn("Enter", result.stdout)

    def test_end_of_input_at_a_prompt(self):
        result = self.kiv("add", input="o=corp\n")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout,
                         "Enter KIV partition root:Enter workstation context:Invalid entry\n")
        self.assertEqual(self.log_messages(), [])

    def test_overlong_answer_is_refused_whole(self):
        result = self.kiv("add", "-r", "o=corp", input="x" * 1024 + "\n")
        self.assertEqual(result.returncode, 1)
        self.assertIn("too long", result.stdout)

    def test_simple_add_asks_only_for_the_partition_root(self):
        result = self.kiv("simple_add", "-S", "dir.example", input="o=corp\n")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(result.stdout.startswith("Enter KIV partition root:"))
        self.assertNotIn("workstation", result.stdout)
        self.assertIn(("base-name", "o=corp"), self.store())

    def test_conversion_failure_is_reported_and_logged(self):
        env = dict(os.environ, LC_ALL="C", LANG="C")
        result = self.kiv("rm", "-a", "cn=\xe9", env=env)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, "Error converting local string to UTF-8 format")
        self.assertEqual(self.log_messages(),
                         ["Error converting local string to UTF-8 format"])


if __name__ == "__main__":
    unittest.main()
