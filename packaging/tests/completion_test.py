"""Runs the bash completion of kivconfig on sample command lines.

Each line is split into words as bash splits them for completion ("=" and
":" are words of their own), and the completion function runs in a bash that
has loaded bash-completion, with the kivconfig under test as the command.
"""

import os
import re
import shlex
import subprocess
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
COMPLETION = os.path.join(os.path.dirname(HERE), "kivconfig.bash-completion")
BASH_COMPLETION = "/usr/share/bash-completion/bash_completion"
KIVCONFIG = os.environ["KIVCONFIG"]

DRIVER = r"""
source "$1" && source "$2" || exit 2
COMP_LINE=$3
COMP_POINT=${#COMP_LINE}
eval "COMP_WORDS=($4)"
COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
_kivconfig kivconfig "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
printf '%s\n' "${COMPREPLY[@]}"
"""

# (words after the program, completions offered, in any order)
CASES = [
    ("", "add simple_add rm remove upgrade get set -k cache_refresh --help"),
    ("s", "simple_add set"),
    ("add -", "-a -p -r -w -S -l -R -o -c -z -y -d"),
    ("add -r o=corp -", "-a -p -r -w -S -l -R -o -c -z -y -d"),
    ("add -a ", ""),
    ("rm ", "-a -p"),
    ("upgrade -", "-a -p"),
    ("simple_add -", "-r -S -l -R -c -y -d"),
    ("cache_refresh ", ""),
    ("get he", "help"),
    ("get pr", "preferred-server proxy-user-fdn proxy-user-pwd"),
    ("get help persistent-cache-", "persistent-cache-refresh-period persistent-cache-refresh-flag"),
    ("get help he", ""),
    ("set enable-", "enable-persistent-cache= enable-boma="),
    ("set num-threads=4 ldap-", "ldap-port= ldap-ssl-port="),
    ("set cache-only=", "yes no"),
    ("set schema=c", "corvex"),
    ("set persistent-cache-refresh-flag=", "all user group"),
    ("set num-threads=", ""),
]


def bash_words(line):
    """The words bash hands to a completion function for line."""
    words = []
    for word in line.split():
        words.extend(re.findall(r"[=:]|[^=:]+", word))
    if line == "" or line[-1].isspace():
        words.append("")
    return words


class CompletionTest(unittest.TestCase):

    def test_command_lines(self):
        for line, expected in CASES:
            with self.subTest(line=line):
                full = KIVCONFIG + " " + line
                words = [KIVCONFIG] + bash_words(line)
                result = subprocess.run(
                    ["bash", "-c", DRIVER, "bash", BASH_COMPLETION, COMPLETION, full,
                     " ".join(shlex.quote(w) for w in words)],
                    capture_output=True, text=True, timeout=60)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(sorted(result.stdout.split()), sorted(expected.split()))


if __name__ == "__main__":
    unittest.main()
