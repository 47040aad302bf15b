"""The manual page against the program: the options it lists against the
usage text that `kivconfig --help` prints, and the exit statuses of EXIT STATUS
against the result-code table of src/cli/report.cc, so that the page cannot
drift from either.
"""

import os
import re
import subprocess
import unittest

SOURCE = os.environ["KIV_SOURCE_DIR"]
KIVCONFIG = os.environ["KIVCONFIG"]

# The statuses that the front end sets itself: success, a refused command
# line, a step that printed its own message, exhausted memory.
FRONT_END_STATUSES = {0, 1, 145, 255}


def read(*path):
    with open(os.path.join(SOURCE, *path), encoding="utf-8") as source:
        return source.read()


def section(page, name):
    return re.search(r"^\.SH %s\n(.*?)(?=^\.SH )" % name, page, re.M | re.S)[1]


class ManualPage(unittest.TestCase):

    page = read("packaging", "kivconfig.8")

    def test_options_are_those_of_the_usage_text(self):
        usage = subprocess.run([KIVCONFIG, "--help"], capture_output=True, text=True,
                               env=dict(os.environ, LC_ALL="C"), check=True).stdout
        # -k is a command word of its own (COMMANDS); -z, which add takes, is
        # missing from the usage text that the translations share.
        expected = set(re.findall(r"\[?-(\w)\b", usage)) - {"k"} | {"z"}
        items = re.findall(r"^\.TP\n(\.BI? .*)$", section(self.page, "OPTIONS"), re.M)
        listed = {letter for item in items for letter in re.findall(r"\\-(\w)\b", item)}
        self.assertEqual(listed, expected)

    def test_exit_statuses_are_those_of_the_result_codes(self):
        values = dict(re.findall(r"constexpr int (k\w+) = (-\d+);",
                                 read("src", "base", "result_codes.h")))
        table = re.findall(r"\{(k\w+),\s*translatable\(", read("src", "cli", "report.cc"))
        expected = FRONT_END_STATUSES | {int(values[name]) % 256 for name in table}
        entries = re.findall(r"^\.TP\n\.BR? (.*)$", section(self.page, "EXIT STATUS"), re.M)
        listed = {int(number) for entry in entries for number in re.findall(r"\d+", entry)}
        self.assertEqual(listed, expected)


if __name__ == "__main__":
    unittest.main()
