"""ombrel-server against the ldap-utils clients: the answers kivconfig relies
on, given to a client that nobody here wrote. kivconfig's own end-to-end
tests show the rest, LDAPS, the root DSE and the schema lookups included."""

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
    """Runs an ldap-utils tool; returns (exit status, stdout, stderr)."""
    done = subprocess.run([tool, "-x", "-H", server.uri(), *bind, *args], input=input_text,
                          capture_output=True, text=True, env=server.client_env(), timeout=30)
    return done.returncode, done.stdout, done.stderr


def search(server, base, *args):
    return run_tool(server, "ldapsearch", "-LLL", "-o", "ldif-wrap=no", "-b", base, *args, bind=())


def add(server, dn, object_class, *lines, bind=ADMIN):
    text = "dn: %s\nobjectClass: %s\n%s" % (dn, object_class, "".join(l + "\n" for l in lines))
    return run_tool(server, "ldapadd", input_text=text, bind=bind)[0]


class ClientTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        tmp = tempfile.TemporaryDirectory()
        cls.addClassCleanup(tmp.cleanup)
        cls.server = OmbrelServer(tmp.name).start()
        cls.addClassCleanup(cls.server.stop)

    def modify(self, ldif):
        return run_tool(self.server, "ldapmodify", input_text=ldif)[0]

    def test_result_codes(self):
        s = self.server
        wrong = ("-D", "cn=admin,o=corp", "-w", "wrong")
        new_class = SCHEMA + ("add: objectClasses\nobjectClasses: ( 1.3.6.1.4.1.32473.9.1 NAME "
                              "'testBox' SUP top STRUCTURAL MAY cn X-VRD_CONTAINMENT "
                              "'organization' )\n")
        cases = [
            ("anonymous write", lambda: add(s, "ou=n,o=corp", "organizationalUnit", bind=()), 50),
            ("wrong password", lambda: add(s, "ou=n,o=corp", "organizationalUnit", bind=wrong), 49),
            ("bind DN in invalid syntax", lambda: add(
                s, "ou=n,o=corp", "organizationalUnit", bind=("-D", "not a dn", "-w", "x")), 34),
            ("undefined class", lambda: add(s, "ou=n,o=corp", "noSuchClass"), 17),
            ("entry without parent", lambda: add(s, "ou=top", "organizationalUnit"), 53),
            ("parent outside the containment",
             lambda: add(s, "ou=x,cn=admin,o=corp", "organizationalUnit"), 53),
            ("missing parent", lambda: add(s, "ou=x,ou=gone,o=corp", "organizationalUnit"), 32),
            ("existing entry", lambda: add(s, "ou=ws,o=corp", "organizationalUnit"), 68),
            ("new ACL values", lambda: self.modify(CORP + "add: ACL\nACL: 1#a\nACL: 2#b\n"), 0),
            ("one value present: nothing changes",
             lambda: self.modify(CORP + "add: ACL\nACL: 3#c\nACL: 1#a\n"), 20),
            ("ACL values are case-exact", lambda: self.modify(CORP + "add: ACL\nACL: 1#A\n"), 0),
            ("absent value", lambda: self.modify(CORP + "delete: ACL\nACL: 3#c\n"), 16),
            ("missing entry", lambda: self.modify("dn: o=gone\nchangetype: modify\n"
                                                  "replace: description\ndescription: d\n"), 32),
            ("entry with children", lambda: run_tool(s, "ldapdelete", "o=corp")[0], 66),
            ("new class", lambda: self.modify(new_class), 0),
            ("class again", lambda: self.modify(new_class), 20),
            ("entry of the new class", lambda: add(s, "cn=box,o=corp", "testBox"), 0),
            ("unparsable definition", lambda: self.modify(
                SCHEMA + "add: attributeTypes\nattributeTypes: ( broken\n"), 21),
            ("unknown operation",
             lambda: "Protocol error (2)" in run_tool(s, "ldapexop", "1.2.3.4")[2], True),
        ]
        for name, run, code in cases:
            self.assertEqual(run(), code, name)
        rc, out, _ = search(self.server, "o=corp", "-s", "base", "objectclass=*", "ACL")
        self.assertEqual(sorted(out.split("\n")[1:-2]), ["ACL: 1#A", "ACL: 1#a", "ACL: 2#b"])

    def test_escaped_names_are_values(self):
        # (DN as added, the same DN escaped otherwise, equality filter on cn)
        cases = [
            ("cn=W - a\\2Cb", "CN=w - A\\,B", "(cn=W - a,b)"),
            ("cn=W - a*", "cn=W - a\\2a", "(cn=W - a\\2a)"),
            ("cn=W - (x)\\5c", "cn=W - \\28x\\29\\\\", "(cn=W - \\28x\\29\\5c)"),
            ("cn=W - a\\00b", "cn=W - a\\00b", "(cn=W - a\\00b)"),
            ("cn=\\#x+sn=\\+y", "sn=\\2by+cn=\\23x", "(cn=#x)"),
            ("cn=\\ z\\ ", "cn=\\20z\\20", "(cn=\\20z\\20)"),
        ]
        for added, other, _ in cases:
            self.assertEqual(add(self.server, added + ",ou=ws,o=corp", "inetOrgPerson", "sn: s"),
                             0, added)
            rc, out, _ = search(self.server, other + ",ou=ws,o=corp", "-s", "base", "dn")
            self.assertEqual((rc, out.count("dn: ")), (0, 1), other)
        for added, _, assertion in cases:
            rc, out, _ = search(self.server, "ou=ws,o=corp", "-s", "one", assertion, "dn")
            self.assertEqual(out.split("\n\n")[:-1], ["dn: %s,ou=ws,o=corp" % added], assertion)
        rc, out, _ = search(self.server, "ou=ws,o=corp", "-s", "one",
                            "(&(objectClass=inetOrgPerson)(cn=W - *))", "dn")
        self.assertEqual(out.count("dn: "), 4, out)


class FaultRulesTest(unittest.TestCase):
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
