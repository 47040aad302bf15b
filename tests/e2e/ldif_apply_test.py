"""End-to-end tests of the LDIF change processor: ldif-apply against an
Ombrel-compatible test server, the resulting tree compared with the one
expected."""

import os
import subprocess
import tempfile
import time
import unittest

from ldif_support import (ADMIN, LDIF_APPLY, PASSWORD, OmbrelServer, parse_tree, run_ldif_apply,
                          write_file)

CHANGES = """version: 1

# Every kind of change record, with folded, base64 and commented lines.
dn: ou=people,o=corp
changetype: add
objectClass: organizationalUnit
ou: people
description: folded
  across two lines

dn: uid=ann,ou=people,o=corp
changetype: add
objectClass: inetOrgPerson
uid: ann
cn: Ann
# a comment between attribute lines
sn:: QsOkY2tlcg==
mail: ann@corp.example
mail: ann2@corp.example
telephoneNumber: 1

dn: uid=bob,o=corp
changetype: add
objectClass: inetOrgPerson
uid: bob
cn: Bob
sn: Bob

dn: uid=ann,ou=people,o=corp
changetype: modify
add: description
description: first
description: second
-
replace: telephoneNumber
telephoneNumber: 2
-
delete: mail
mail: ann2@corp.example
-

dn: uid=ann,ou=people,o=corp
changetype: modify
delete: description
description: first
-

dn: uid=bob,o=corp
changetype: modrdn
newrdn: uid=robert
deleteoldrdn: 0
newsuperior: ou=people,o=corp

dn: uid=robert,ou=people,o=corp
cn: Robert

dn: uid=gone,o=corp
changetype: add
objectClass: person
cn: gone
sn: gone

dn: uid=gone,o=corp
changetype: delete
"""

EXPECTED = {
    "ou=people,o=corp": {
        "objectclass": [b"organizationalUnit"],
        "ou": [b"people"],
        "description": [b"folded across two lines"],
    },
    "uid=ann,ou=people,o=corp": {
        "objectclass": [b"inetOrgPerson"],
        "uid": [b"ann"],
        "cn": [b"Ann"],
        "sn": ["B\u00e4cker".encode()],
        "mail": [b"ann@corp.example"],
        "telephonenumber": [b"2"],
        "description": [b"second"],
    },
    "uid=robert,ou=people,o=corp": {
        "objectclass": [b"inetOrgPerson"],
        "uid": [b"bob", b"robert"],
        "cn": [b"Robert"],
        "sn": [b"Bob"],
    },
}


class LdifApplyTest(unittest.TestCase):
    def setUp(self):
        state = tempfile.TemporaryDirectory(prefix="kiv-ldif.")
        self.addCleanup(state.cleanup)
        self.dir = state.name
        self.server = OmbrelServer(os.path.join(self.dir, "server"), tls=False)
        self.server.start()
        self.addCleanup(self.server.stop)
        self.initial = parse_tree(self.server.dump())

    def apply(self, text, name="changes.ldif"):
        return run_ldif_apply(self.server, write_file(self.dir, name, text))

    def assertTreeHas(self, entries):
        expected = dict(self.initial)
        expected.update(entries)
        tree = parse_tree(self.server.dump())
        # Attributes the server maintains itself are not compared.
        for dn, attributes in tree.items():
            if dn in entries:
                tree[dn] = {name: values for name, values in attributes.items()
                            if name in entries[dn]}
        self.assertEqual(tree, expected)

    def test_change_records_build_the_expected_tree(self):
        for line_end in ("\n", "\r\n"):
            with self.subTest(line_end=repr(line_end)):
                run = self.apply(CHANGES.replace("\n", line_end))
                self.assertEqual((run.returncode, run.stdout.splitlines()[-1]), (0, "result: 0"),
                                 run.stderr)
                self.assertIn('modifying rdn of entry "uid=bob,o=corp"', run.stdout)
                self.assertIn('deleting entry "uid=gone,o=corp"', run.stdout)
                self.assertTreeHas(EXPECTED)
                cleanup = "".join(f"dn: {dn}\nchangetype: delete\n\n" for dn in
                                  ("uid=ann,ou=people,o=corp", "uid=robert,ou=people,o=corp",
                                   "ou=people,o=corp"))
                self.assertEqual(self.apply(cleanup, "cleanup.ldif").returncode, 0)

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
