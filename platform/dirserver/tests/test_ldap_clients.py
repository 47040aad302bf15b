"""ombrel-server's answers that kivconfig relies on, given to ldap-utils."""

import pathlib
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[3] / "tests" / "lib"))

from ombrel import OmbrelServer  # noqa: E402

ADMIN = ("-D", "cn=admin,o=corp", "-w", "secret")
SCHEMA = "dn: cn=schema\nchangetype: modify\n"
CORP = "dn: o=corp\nchangetype: modify\n"


def run_tool(server, tool, *args, input_text=None, bind=ADMIN):
    done = subprocess.run([tool, "-x", "-H", server.uri(), *bind, *args], input=input_text,
                          capture_output=True, text=True, env=server.client_env(), timeout=30)
    return done.returncode, done.stdout, done.stderr


def search(server, base, *args):
    return run_tool(server, "ldapsearch", "-LLL", "-o", "ldif-wrap=no", "-b", base, *args, bind=())


def new(dn, object_class, *lines):
    return "dn: %s\nchangetype: add\nobjectClass: %s\n%s" % (
        dn, object_class, "".join(line + "\n" for line in lines))


class ClientTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        tmp = tempfile.TemporaryDirectory()
        cls.addClassCleanup(tmp.cleanup)
        cls.server = OmbrelServer(tmp.name).start()
        cls.addClassCleanup(cls.server.stop)

    def test_result_codes(self):
        ou, box = "organizationalUnit", SCHEMA + (
            "add: objectClasses\nobjectClasses: ( 1.3.6.1.4.1.32473.9.1 NAME 'testBox' SUP top "
            "STRUCTURAL MAY cn X-VRD_CONTAINMENT 'organization' )\n")
        cases = [  # name, LDIF for ldapmodify, bind, result code
            ("anonymous write", new("ou=n,o=corp", ou), (), 50),
            ("wrong password", new("ou=n,o=corp", ou), ("-D", "cn=admin,o=corp", "-w", "x"), 49),
            ("bind DN in invalid syntax", new("ou=n,o=corp", ou), ("-D", "no dn", "-w", "x"), 34),
            ("undefined class", new("ou=n,o=corp", "noSuchClass"), ADMIN, 17),
            ("entry without parent", new("ou=top", ou), ADMIN, 53),
            ("parent outside the containment", new("ou=x,cn=admin,o=corp", ou), ADMIN, 53),
            ("missing parent", new("ou=x,ou=gone,o=corp", ou), ADMIN, 32),
            ("new ACL values", CORP + "add: ACL\nACL: 1#a\nACL: 2#b\n", ADMIN, 0),
            ("one value present: nothing changes", CORP + "add: ACL\nACL: 3#c\nACL: 1#a\n",
             ADMIN, 20),
            ("ACL values are case-exact", CORP + "add: ACL\nACL: 1#A\n", ADMIN, 0),
            ("absent value", CORP + "delete: ACL\nACL: 3#c\n", ADMIN, 16),
            ("missing entry", "dn: o=gone\nchangetype: modify\nreplace: cn\ncn: d\n", ADMIN, 32),
            ("entry with children", "dn: o=corp\nchangetype: delete\n", ADMIN, 66),
            ("new class", box, ADMIN, 0),
            ("class again", box, ADMIN, 20),
            ("entry of the new class", new("cn=box,o=corp", "testBox"), ADMIN, 0),
            ("unparsable definition", SCHEMA + "add: attributeTypes\nattributeTypes: ( broken\n",
             ADMIN, 21),
        ]
        for name, ldif, bind, code in cases:
            self.assertEqual(run_tool(self.server, "ldapmodify", input_text=ldif, bind=bind)[0],
                             code, name)
        self.assertIn("Protocol error (2)", run_tool(self.server, "ldapexop", "1.2.3.4")[2])
        out = search(self.server, "o=corp", "-s", "base", "objectclass=*", "ACL")[1]
        self.assertEqual(sorted(out.split("\n")[1:-2]), ["ACL: 1#A", "ACL: 1#a", "ACL: 2#b"])

    def test_fault_rules_and_dump(self):
        with tempfile.TemporaryDirectory() as tmp:
            rules = pathlib.Path(tmp) / "rules"
            rules.write_text("# refused twice\nmodify:O=Corp:50:2\n")
            with OmbrelServer(tmp, extra_args=("--fail-file", str(rules), "--fail", "delete:*:80",
                                               "--fail", "extended:1.2.3:1")) as server:
                before = server.dump()
                change = CORP + "replace: description\ndescription: x\n"
                codes = [run_tool(server, "ldapmodify", input_text=change)[0] for _ in range(3)]
                codes += [run_tool(server, "ldapdelete", "ou=ws,o=corp")[0],
                          run_tool(server, "ldapexop", "1.2.3")[0]]
                self.assertEqual(codes, [50, 50, 0, 80, 1])
                after = server.stop()
            self.assertEqual(after.replace("description: x\n", ""), before)
            self.assertLess(after.index("dn: o=corp\n"), after.index("dn: ou=ws,o=corp\n"))


if __name__ == "__main__":
    unittest.main()
