"""End-to-end tests of the LDIF change processor: how ldif-apply ends its run
against an Ombrel-compatible test server, and what it leaves in the tree. The
trees that change records build are compared with ldapmodify's in
ldif_differential_test.py."""

import os
import subprocess
import tempfile
import time
import unittest

from ldif_support import (ADMIN, LDIF_APPLY, PASSWORD, OmbrelServer, parse_tree, run_ldif_apply,
                          write_file)


class LdifApplyTest(unittest.TestCase):
    def setUp(self):
        state = tempfile.TemporaryDirectory(prefix="kiv-ldif.")
        self.addCleanup(state.cleanup)
        self.dir = state.name
        self.server = OmbrelServer(os.path.join(self.dir, "server"), tls=False)
        self.server.start()
        self.addCleanup(self.server.stop)

    def apply(self, text, name="changes.ldif"):
        return run_ldif_apply(self.server, write_file(self.dir, name, text))

    def test_rerun_counts_existing_entries_and_values_as_done(self):
        adds = ("dn: uid=carl,o=corp\nchangetype: add\nobjectClass: person\ncn: carl\nsn: c\n\n"
                "dn: uid=carl,o=corp\nchangetype: modify\nadd: description\ndescription: x\n-\n")
        self.assertEqual(self.apply(adds).stdout, "result: 0\n")
        tree = parse_tree(self.server.dump())
        run = self.apply(adds)
        self.assertEqual((run.returncode, run.stdout), (1, "result: 20\n"))
        run = self.apply(adds.split("\n\n")[0] + "\n")
        self.assertEqual((run.returncode, run.stdout), (1, "result: 68\n"))
        self.assertEqual(parse_tree(self.server.dump()), tree)

    def test_a_failing_record_stops_the_run(self):
        run = self.apply(
            "dn: uid=dora,o=corp\nchangetype: add\nobjectClass: person\ncn: dora\nsn: d\n\n"
            "dn: uid=nobody,o=corp\nchangetype: modify\nreplace: cn\ncn: x\n-\n\n"
            "dn: uid=emil,o=corp\nchangetype: add\nobjectClass: person\ncn: emil\nsn: e\n")
        self.assertEqual(run.stdout, "result: 32\n")
        tree = parse_tree(self.server.dump())
        self.assertIn("uid=dora,o=corp", tree)
        self.assertNotIn("uid=emil,o=corp", tree)

    def test_a_malformed_record_stops_the_run(self):
        run = self.apply(
            "dn: uid=fay,o=corp\nchangetype: add\nobjectClass: person\ncn: fay\nsn: f\n\n"
            "dn: uid=gus,o=corp\nchangetype: add\nobjectClass: person\ncn\n")
        self.assertEqual(run.stdout, "result: 89\n")
        self.assertEqual(run.stderr, 'kivconfig: invalid format (line 4) entry: "uid=gus,o=corp"\n')
        self.assertIn("uid=fay,o=corp", parse_tree(self.server.dump()))

    def test_a_server_that_dies_ends_the_run_with_81(self):
        # The changes come through a pipe, so that the server is killed after
        # the first record is in and before the second is read. Opened for
        # reading and writing, the pipe lets neither side wait for the other.
        changes = os.path.join(self.dir, "changes.ldif")
        os.mkfifo(changes)
        pipe = os.open(changes, os.O_RDWR)
        self.addCleanup(os.close, pipe)
        run = subprocess.Popen([LDIF_APPLY, self.server.uri(), ADMIN, PASSWORD, changes],
                               env=self.server.client_env(), stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True)
        self.addCleanup(run.kill)
        os.write(pipe, b"dn: uid=hana,o=corp\nchangetype: add\nobjectClass: person\n"
                       b"cn: hana\nsn: h\n\n")
        deadline = time.monotonic() + 30
        while "uid=hana,o=corp" not in parse_tree(self.server.dump()):
            self.assertTrue(run.poll() is None and time.monotonic() < deadline)
            time.sleep(0.02)
        self.server.kill()
        os.write(pipe, b"dn: uid=ines,o=corp\nchangetype: add\nobjectClass: person\n"
                       b"cn: ines\nsn: i\n\n")
        stdout, stderr = run.communicate(timeout=60)
        self.assertEqual((run.returncode, stdout), (1, "result: 81\n"), stderr)

    def test_missing_file(self):
        run = run_ldif_apply(self.server, os.path.join(self.dir, "absent.ldif"))
        self.assertEqual(run.stdout, "result: 1\n")
        self.assertIn("absent.ldif: No such file or directory", run.stderr)


if __name__ == "__main__":
    unittest.main()
