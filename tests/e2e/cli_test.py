"""Command words, exit statuses, prompts, the log and the German catalogue."""

import os
import re
import subprocess
import unittest

from kivtest import BUILD, KIVCONFIG, LOG, STATE_DIR, SandboxTest

NOT_CONFIGURED, CONVERSION = ("Velmar Account Management is not configured",
                              "Error converting local string to UTF-8 format")
ASKED = "Enter KIV partition root:Enter workstation context:"
CLEAR = "Configuring to non SSL connection"
HELP = [["--h"], ["--he"], ["-?"], ["--help"]]
REFUSED = [[], ["-h"], ["frobnicate"], ["add", "rm"], ["get", "set"], ["add", "-r", "add"],
           ["add", "-k"], ["simple_add", "-o"], ["simple_add", "-a", "x"], ["add", "-x"],
           ["add", "-r"], ["set"], ["set", "-sa=1"], ["set", "a=1", "b"], ["get", "a=1"],
           ["get", "help", "a=1"]]
PROMPTED = [  # words, answers, environment, status, standard output, log
    (["rm", "remove"], None, {}, 140, NOT_CONFIGURED + "\n", [NOT_CONFIGURED]),
    (["rm", "-a", "cn=\xe9"], None, {"LC_ALL": "C", "LANG": "C"}, 1, CONVERSION, [CONVERSION]),
    (["add"], "o=corp\n", {}, 1, ASKED + "Invalid entry\n", []),
    (["add", "-r", "o=corp"], "x" * 1024 + "\n", {}, 1, "Enter workstation context:The name is "
     "too long: at most 1023 bytes are accepted\n", []),
    (["add", "-S", "127.0.0.1"], "  \n\n o=corp\nou=ws,o=corp\n", {}, 145,
     ASKED + "Admin Name:Invalid entry\n", [CLEAR]),
    (["add", "-r", "o=corp", "-w", "ou=ws,o=corp", "-S", "127.0.0.1"], "", {}, 145,
     "Admin Name:Invalid entry\n", [CLEAR]),
    (["simple_add", "-S", "dir.example"], "o=corp\n", {}, 0, "Enter KIV partition root:", []),
]
GERMAN = [  # words, exit status, standard output, log
    (["-k"], 140, "Velmar Account Management ist nicht konfiguriert\n", [NOT_CONFIGURED]),
    (["set", "num-threads="], 145, "Wert fehlt für den Parameter :num-threads\n", []),
]


class CommandLine(SandboxTest):
    def test_help_version_and_refused_lines(self):
        for words in HELP + REFUSED:
            with self.subTest(words=words):
                result, status = self.kiv(*words), 0 if words in HELP else 1
                # Asked-for help goes to standard output, a refused line's to standard error.
                shown, other = (result.stdout, result.stderr)[::1 if status == 0 else -1]
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn("Usage:\n kivconfig  add -a <admin_fdn>", shown)
                self.assertIn(" kivconfig cache_refresh\n", shown)
                self.assertNotIn("Usage:", other)
        self.assertRegex(self.kiv("add", "-x").stderr, r"^add: invalid option -- 'x'\n")
        # -k with an option word that would be invalid for add runs -k itself.
        self.assertNotIn("Usage:", self.kiv("-k", "-S", "host", "-Q").stderr)
        with open(os.path.join(BUILD, "CMakeCache.txt"), encoding="utf-8") as cache:
            version = re.search(r"^CMAKE_PROJECT_VERSION:\w+=(.*)$", cache.read(), re.M)[1]
        result = self.kiv("--version")
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (0, "kivconfig %s\n" % version, ""))
        # Without a log directory the messages are still shown, and none is made.
        self.box.run(["rm", "-rf", STATE_DIR])
        self.assertEqual(self.kiv("rm").stdout, NOT_CONFIGURED + "\n")
        self.assertEqual(self.box.run(["test", "-e", STATE_DIR]).returncode, 1)

    def test_prompts_and_the_log(self):
        for words, answers, env, status, stdout, log in PROMPTED:
            with self.subTest(words=words):
                self.box.run(["rm", "-f", LOG])
                result = self.kiv(*words, input=answers, env=env)
                self.assertEqual((result.returncode, result.stdout, self.log_messages()),
                                 (status, stdout, log), result.stderr)
                self.assertEqual(self.store() is not None, words[0] == "simple_add")
        self.assertIn(("base-name", "o=corp"), self.store())

    def test_terminal_in_german_log_in_english(self):
        env = {k: None for k in os.environ if k.startswith("LC_") or k == "LANGUAGE"}
        env["LANG"] = "de_DE.UTF-8"
        if "de_DE.utf8" not in subprocess.run(["locale", "-a"], capture_output=True,
                                              text=True).stdout.split():
            subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8",
                            os.path.join(self.tmp, "de_DE.UTF-8")], check=True, capture_output=True)
            # glibc's setlocale then loses a small block.
            with open(os.path.join(self.tmp, "lsan"), "w", encoding="ascii") as out:
                out.write("leak:__argz_add_sep\n")
            env.update(LOCPATH=self.tmp, LSAN_OPTIONS="suppressions=" + out.name)
        for words, status, stdout, log in GERMAN:
            with self.subTest(words=words):
                result = self.box.sh('rm -f %s && mount --bind "$1" /usr/share/locale && shift && '
                                     'exec "$@"' % LOG, os.path.join(BUILD, "locale"), KIVCONFIG,
                                     *words, env=env)
                self.assertEqual((result.returncode, result.stdout), (status, stdout),
                                 result.stderr)
                self.assertEqual(self.log_messages(), log)
