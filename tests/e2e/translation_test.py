"""kivconfig under a German locale: the terminal shows the German catalogue's
texts while the log keeps the English ones.

The sandbox binds the build tree's catalogues (locale/) over
/usr/share/locale, where the program looks for them. A de_DE.UTF-8 locale is
generated into a scratch directory (LOCPATH) when the machine has none.
With LOCPATH set, glibc's setlocale loses one small block, which
LeakSanitizer is told to pass over.
"""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import BUILD, KIVCONFIG, SandboxTest  # noqa: E402

LOCALE = "de_DE.UTF-8"
CATALOGUES = os.path.join(BUILD, "locale")

# (words, standard input, exit status, standard output, standard error start, log)
CASES = [
    (["-k"], None, 140, "Velmar Account Management ist nicht konfiguriert\n", "",
     ["Velmar Account Management is not configured"]),
    ([], None, 1, "", "Aufruf:\n kivconfig  add -a <Admin-FDN> -p <Passwort>", []),
    (["add", "-r", "o=corp"], "", 1, "Workstation-Kontext eingeben:Ungültige Eingabe\n", "", []),
    (["set", "num-threads="], None, 145, "Wert fehlt für den Parameter :num-threads\n", "", []),
]


def german_environment(scratch):
    """The environment that selects German, with LOCPATH when the locale
    had to be generated."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k != "LANGUAGE"}
    env["LANG"] = LOCALE
    installed = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    if "de_DE.utf8" not in installed:
        subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8", os.path.join(scratch, LOCALE)],
                       check=True, capture_output=True)
        env["LOCPATH"] = scratch
        suppressions = os.path.join(scratch, "lsan-suppressions")
        with open(suppressions, "w", encoding="ascii") as out:
            out.write("leak:__argz_add_sep\n")
        env["LSAN_OPTIONS"] = "suppressions=" + suppressions
    return env


class GermanMessages(SandboxTest):

    @classmethod
    def setUpClass(cls):
        cls._scratch = tempfile.TemporaryDirectory(prefix="kiv-locale.")
        cls.german = german_environment(cls._scratch.name)

    @classmethod
    def tearDownClass(cls):
        cls._scratch.cleanup()

    def test_terminal_in_german_log_in_english(self):
        bind = 'mount --bind "$1" /usr/share/locale && shift && exec "$@"'
        for words, stdin, status, stdout, stderr_start, log in CASES:
            with self.subTest(words=words):
                self.box.run(["rm", "-f", "/var/lib/velmar-pelk/kiv.log"])
                result = self.box.run(["sh", "-c", bind, "sh", CATALOGUES, KIVCONFIG, *words],
                                      input=stdin, env=self.german)
                self.assertEqual((result.returncode, result.stdout), (status, stdout),
                                 result.stderr)
                self.assertTrue(result.stderr.startswith(stderr_start), result.stderr)
                self.assertEqual(self.log_messages(), log)


if __name__ == "__main__":
    unittest.main()
