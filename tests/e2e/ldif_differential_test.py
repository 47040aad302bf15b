"""ldif-apply and ldapmodify leave the same trees from the same changes."""

import os
import subprocess
import tempfile
import unittest

from kivtest import BUILD
from ombrel import DEFAULT_ADMIN as ADMIN, DEFAULT_PASSWORD as PASSWORD, OmbrelServer

LDIF_APPLY = os.environ.get("LDIF_APPLY") or os.path.join(BUILD, "bench/ldif/ldif-apply")
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
replace: mail
mail: ann@new.example
mail: ann@other.example
-
delete: mail
mail: ann@other.example
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
    def test_same_trees_as_ldapmodify(self):
        rows = [("files in turn, CR LF line ends",
                 [text.replace("\n", "\r\n") for text in (ADDS, MODIFIES, RENAMES)]),
                ("one file", ["version: 1\n\n" + ADDS + "\n" + MODIFIES + "\n\n\n" + RENAMES])]
        for name, texts in rows:
            with self.subTest(name), tempfile.TemporaryDirectory() as tmp:
                with OmbrelServer(tmp + "/ours", tls=False) as ours, \
                        OmbrelServer(tmp + "/theirs", tls=False) as theirs:
                    for index, text in enumerate(texts):
                        path = os.path.join(tmp, "changes%d.ldif" % index)
                        with open(path, "w", newline="") as f:
                            f.write(text)
                        self.apply([LDIF_APPLY, ours.uri(), ADMIN, PASSWORD, path])
                        self.apply(["ldapmodify", "-x", "-H", theirs.uri(), "-D", ADMIN, "-w",
                                    PASSWORD, "-f", path])
                    self.assertEqual(ours.dump(), theirs.dump())

    def apply(self, command):
        run = subprocess.run(command, capture_output=True, text=True, timeout=60,
                             env=dict(os.environ, LDAPCONF="/dev/null", LDAPRC="none"))
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
