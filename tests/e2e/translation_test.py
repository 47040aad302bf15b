"""kivconfig under a German locale: the terminal shows the German catalogue's
texts while the log keeps the English ones. The build tree's catalogues are
bound over /usr/share/locale; a de_DE.UTF-8 locale is generated into a
scratch directory (LOCPATH) when the machine has none, and glibc's setlocale
then loses a small block that LeakSanitizer is told to pass over."""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import BUILD, KIVCONFIG, LOG, SandboxTest  # noqa: E402

ROWS = [  # words, exit status, standard output, log
    (["-k"], 140, "Velmar Account Management ist nicht konfiguriert\n",
     ["Velmar Account Management is not configured"]),
    (["set", "num-threads="], 145, "Wert fehlt für den Parameter :num-threads\n", []),
]


class GermanMessages(SandboxTest):
    def german_environment(self, scratch):
        env = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k != "LANGUAGE"}
        env["LANG"] = "de_DE.UTF-8"
        if "de_DE.utf8" not in subprocess.run(["locale", "-a"], capture_output=True,
                                              text=True).stdout.split():
            subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8",
                            os.path.join(scratch, "de_DE.UTF-8")], check=True, capture_output=True)
            with open(os.path.join(scratch, "lsan"), "w", encoding="ascii") as out:
                out.write("leak:__argz_add_sep\n")
            env.update(LOCPATH=scratch, LSAN_OPTIONS="suppressions=" + out.name)
        return env

    def test_terminal_in_german_log_in_english(self):
        with tempfile.TemporaryDirectory() as scratch:
            env = self.german_environment(scratch)
            for words, status, stdout, log in ROWS:
                with self.subTest(words=words):
                    result = self.box.sh('rm -f %s && mount --bind "$1" /usr/share/locale && '
                                         'shift && exec "$@"' % LOG, os.path.join(BUILD, "locale"),
                                         KIVCONFIG, *words, env=env)
                    self.assertEqual((result.returncode, result.stdout), (status, stdout),
                                     result.stderr)
                    self.assertEqual(self.log_messages(), log)


if __name__ == "__main__":
    unittest.main()
