"""Differential test of the LDIF change processor: the same valid change
files applied with ldif-apply and with ldapmodify to two fresh
Ombrel-compatible servers must leave identical trees."""

import os
import tempfile
import unittest

from ldif_support import OmbrelServer, run_ldapmodify, run_ldif_apply, write_file

ADDS = """# entries of several classes
dn: ou=people,o=corp
changetype: add
objectClass: organizationalUnit
ou: people
description: a description folded
  over two lines

dn: uid=ann,ou=people,o=corp
changetype: add
objectClass: inetOrgPerson
uid: ann
cn: Ann
# a comment between attribute lines
sn:: QsOkY2tlcg==
mail: ann@corp.example
telephoneNumber: +1 555 0100
description:: AGJpbmFyeQ==

dn: cn=staff,o=corp
changetype: add
objectClass: groupOfNames
cn: staff
member: uid=ann,ou=people,o=corp
member: cn=admin,o=corp
"""

MODIFIES = """dn: uid=ann,ou=people,o=corp
changetype: modify
add: description
description: second
description: third
-
replace: telephoneNumber
telephoneNumber: +1 555 0101
telephoneNumber: +1 555 0102
-
delete: mail
-
add: mail
mail: ann@new.example
-

dn: cn=staff,o=corp
changetype: modify
delete: member
member: cn=admin,o=corp
-
replace: description
description: the staff
-

dn: ou=ws,o=corp
changetype: modify
replace: description
-
"""

RENAMES = """dn: uid=bob,o=corp
changetype: add
objectClass: person
cn: bob
sn: b

dn: uid=bob,o=corp
changetype: modrdn
newrdn: cn=robert
deleteoldrdn: 1
newsuperior: ou=ws,o=corp

dn: cn=robert,ou=ws,o=corp
changetype: moddn
newrdn: sn=rob
deleteoldrdn: 0

dn: sn=rob,ou=ws,o=corp
changetype: delete
"""


class DifferentialTest(unittest.TestCase):
    def setUp(self):
        state = tempfile.TemporaryDirectory(prefix="kiv-ldif-diff.")
        self.addCleanup(state.cleanup)
        self.dir = state.name

    def server(self, name):
        server = OmbrelServer(os.path.join(self.dir, name), tls=False)
        server.start()
        self.addCleanup(server.stop)
        return server

    def assertSameTrees(self, *texts):
        ours = self.server("ours")
        theirs = self.server("theirs")
        for index, text in enumerate(texts):
            path = write_file(self.dir, "changes%d.ldif" % index, text)
            run = run_ldif_apply(ours, path)
            self.assertEqual((run.returncode, run.stdout.splitlines()[-1]), (0, "result: 0"),
                             run.stderr)
            run = run_ldapmodify(theirs, path)
            self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(ours.dump(), theirs.dump())

    def test_files_in_turn_with_carriage_return_line_ends(self):
        self.assertSameTrees(*(text.replace("\n", "\r\n") for text in (ADDS, MODIFIES, RENAMES)))

    def test_one_file_with_everything(self):
        self.assertSameTrees("version: 1\n\n" + ADDS + "\n" + MODIFIES + "\n\n\n" + RENAMES)


if __name__ == "__main__":
    unittest.main()
