"""ombrel-server against the ldap-utils clients, over clear text and LDAPS."""

import pathlib
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[3] / "tests" / "lib"))

from ldaptools import run_tool, search  # noqa: E402
from ombrel import OmbrelServer, find_server_binary, free_port  # noqa: E402

README = (pathlib.Path(__file__).resolve().parents[1] / "README.md").read_text()
GID_MAPPING = ("(1.3.6.1.4.1.32473.1.1.4.1.24 NAME 'gidNumber' "
               "SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'GID' )")
UID_MAPPING = ("( 1.3.6.1.1.1.1.0 NAME 'uidNumber' "
               "SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'UID' )")


class ClientTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.server = OmbrelServer(cls.tmp.name).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        cls.tmp.cleanup()

    def modify(self, ldif, tls=False, bind=None):
        kwargs = {} if bind is None else {"bind": bind}
        return run_tool(self.server, "ldapmodify", input_text=ldif, tls=tls, **kwargs)

    def test_root_dse(self):
        for tls in (False, True):
            rc, out, err = search(self.server, "", "-s", "base", "objectclass=*", tls=tls)
            self.assertEqual(rc, 0, err)
            self.assertIn("vendorVersion: Ombrel 8.8 SP8", out)
            self.assertIn("dsaName: cn=ombrel,o=corp", out)
            self.assertIn("supportedLDAPVersion: 3", out)
            self.assertIn("namingContexts: o=corp", out)
            self.assertIn("subschemaSubentry: cn=schema", out)

    def test_schema_search_returns_only_the_named_definition(self):
        rc, out, _ = search(self.server, "cn=schema", "-s", "base",
                            "objectClasses=organizationalUnit", "objectClasses")
        self.assertEqual(rc, 0)
        values = [l for l in out.splitlines() if l.startswith("objectClasses:")]
        self.assertEqual(len(values), 1, out)
        self.assertIn("X-VRD_CONTAINMENT", values[0])
        rc, out, _ = search(self.server, "cn=schema", "-s", "base", "OBJECTCLASSES=inetorgperson")
        self.assertIn("X-VRD_NOT_CONTAINER", out)
        rc, out, _ = search(self.server, "cn=schema", "-s", "base", "objectClasses=qupPosixConfig")
        self.assertEqual((rc, out.strip()), (0, ""))
        rc, out, _ = search(self.server, "cn=schema", "-s", "base", "objectclass=*")
        self.assertIn("NAME 'vrdServer'", out)

    def test_search_scopes_filters_and_limits(self):
        ldif = "dn: ou=search,o=corp\nobjectClass: organizationalUnit\nou: search\n\n"
        ldif += "".join(
            "dn: cn=u%d,ou=search,o=corp\nobjectClass: inetOrgPerson\ncn: u%d\nsn: S%d\n"
            "description: team %s\n\n" % (i, i, i, "red" if i % 2 else "blue")
            for i in range(6))
        rc, _, err = run_tool(self.server, "ldapadd", input_text=ldif)
        self.assertEqual(rc, 0, err)
        cases = [
            (("-s", "one", "(objectClass=*)"), 6),
            (("-s", "base", "(objectClass=*)"), 1),
            (("-s", "sub", "(&(objectClass=inetOrgPerson)(description=*RED))"), 3),
            (("-s", "sub", "(|(cn=u1)(cn=u2)(ou=search))"), 3),
            (("-s", "sub", "(!(objectClass=inetOrgPerson))"), 1),
            (("-s", "sub", "sn=s*"), 6),  # without parentheses
            (("-s", "sub", "(&(sn>=S2)(sn<=s3))"), 2),
            (("-s", "sub", "(undefinedType=x)"), 0),
            (("-s", "sub", "(!(undefinedType=x))"), 0),
        ]
        for args, count in cases:
            rc, out, err = search(self.server, "ou=search,o=corp", *args, "dn")
            self.assertEqual(rc, 0, (args, err))
            self.assertEqual(out.count("dn: "), count, (args, out))
        rc, out, _ = search(self.server, "ou=search,o=corp", "-z", "2",
                            "objectClass=inetOrgPerson", "dn")
        self.assertEqual(rc, 4)
        self.assertEqual(out.count("dn: "), 2)
        rc, out, _ = search(self.server, "cn=u1,ou=search,o=corp", "-s", "base", "-A",
                            "objectclass=*", "sn")
        self.assertEqual(out.split(), ["dn:", "cn=u1,ou=search,o=corp", "sn:"])
        rc, _, _ = search(self.server, "ou=nowhere,o=corp", "objectclass=*")
        self.assertEqual(rc, 32)

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
            ldif = "dn: %s,ou=ws,o=corp\nobjectClass: inetOrgPerson\nsn: s\n" % added
            self.assertEqual(run_tool(self.server, "ldapadd", input_text=ldif)[0], 0, added)
            rc, out, _ = search(self.server, other + ",ou=ws,o=corp", "-s", "base", "dn")
            self.assertEqual((rc, out.count("dn: ")), (0, 1), other)
        for added, _, assertion in cases:
            rc, out, _ = search(self.server, "ou=ws,o=corp", "-s", "one", assertion, "dn")
            self.assertEqual(out.split("\n\n")[:-1], ["dn: %s,ou=ws,o=corp" % added], assertion)

    def test_writes_need_an_administrator(self):
        add = "dn: ou=anon,o=corp\nobjectClass: organizationalUnit\nou: anon\n"
        rc, _, _ = run_tool(self.server, "ldapadd", input_text=add, bind=())
        self.assertEqual(rc, 50)
        rc, _, _ = run_tool(self.server, "ldapadd", input_text=add,
                            bind=("-D", "cn=admin,o=corp", "-w", "wrong"))
        self.assertEqual(rc, 49)
        rc, _, _ = run_tool(self.server, "ldapadd", input_text=add,
                            bind=("-D", "cn=nobody,o=corp", "-w", "x"))
        self.assertEqual(rc, 49)
        rc, _, _ = run_tool(self.server, "ldapadd", input_text=add,
                            bind=("-D", "not a dn", "-w", "x"))
        self.assertEqual(rc, 34)

    def test_add_enforces_schema_and_containment(self):
        cases = [
            ("dn: ou=bad,o=corp\nobjectClass: noSuchClass\nou: bad\n", 17),
            ("dn: ou=bad,o=corp\nobjectClass: organizationalUnit\nou: bad\nnoSuchAttr: x\n", 17),
            ("dn: ou=top\nobjectClass: organizationalUnit\nou: top\n", 53),
            ("dn: ou=x,cn=admin,o=corp\nobjectClass: organizationalUnit\nou: x\n", 53),
            ("dn: o=inner,o=corp\nobjectClass: organization\no: inner\n", 53),
            ("dn: ou=x,ou=missing,o=corp\nobjectClass: organizationalUnit\nou: x\n", 32),
            ("dn: ou=ws,o=corp\nobjectClass: organizationalUnit\nou: ws\n", 68),
            ("dn: c=de\nobjectClass: country\nc: de\n", 0),
            ("dn: l=Town,c=de\nobjectClass: locality\nl: Town\n", 0),
        ]
        for ldif, code in cases:
            rc, _, err = run_tool(self.server, "ldapadd", input_text=ldif)
            self.assertEqual(rc, code, (ldif, err))

    def test_modify_result_codes_and_acl_values(self):
        base = "dn: o=corp\nchangetype: modify\n"
        acl = "add: ACL\nACL: 3#subtree#[Public]#uidNumber\nACL: 1#entry#[Public]#[Entry Rights]\n"
        self.assertEqual(self.modify(base + acl)[0], 0)
        self.assertEqual(self.modify(base + acl)[0], 20)  # all or nothing
        rc, out, _ = search(self.server, "o=corp", "-s", "base", "ACL=3#subtree#[public]#uidnumber")
        self.assertEqual(out.strip(), "")  # exact-value equality
        rc, out, _ = search(self.server, "o=corp", "-s", "base", "ACL=3#subtree#[Public]#uidNumber")
        self.assertIn("dn: o=corp", out)
        self.assertEqual(self.modify(base + "delete: ACL\nACL: 9#none\n")[0], 16)
        self.assertEqual(self.modify(base + "delete: telephoneNumber\n")[0], 16)
        self.assertEqual(self.modify(base + "replace: description\ndescription: d\n")[0], 0)
        self.assertEqual(self.modify(base + "add: bogusType\nbogusType: 1\n")[0], 17)
        self.assertEqual(self.modify("dn: o=gone\nchangetype: modify\n"
                                     "replace: description\ndescription: d\n")[0], 32)
        self.assertEqual(self.modify(base + "delete: o\n")[0], 67)
        rc, out, _ = search(self.server, "o=corp", "-s", "base", "objectclass=*", "ACL")
        self.assertEqual(out.count("ACL: "), 2)

    def test_schema_modify_and_mapping_removal(self):
        schema = "dn: cn=schema\nchangetype: modify\n"
        new_class = ("( 1.3.6.1.4.1.32473.9.1 NAME 'testBox' SUP top STRUCTURAL MAY cn "
                     "X-VRD_CONTAINMENT 'organization' )")
        self.assertEqual(self.modify(schema + "add: objectClasses\nobjectClasses: %s\n"
                                     % new_class)[0], 0)
        self.assertEqual(self.modify(schema + "add: objectClasses\nobjectClasses: %s\n"
                                     % new_class)[0], 20)
        rc, _, err = run_tool(self.server, "ldapadd", input_text=(
            "dn: cn=box,o=corp\nobjectClass: testBox\ncn: box\n"))
        self.assertEqual(rc, 0, err)
        self.assertEqual(self.modify(schema + "add: attributeTypes\nattributeTypes: ( broken\n")[0],
                         21)
        self.assertEqual(self.modify(schema + "delete: attributeTypes\nattributeTypes: "
                                     "( 9.9.9 NAME 'absent' )\n")[0], 16)
        # Extra blanks and "(x" against "( x" still match the stored text.
        rc, out, _ = search(self.server, "cn=schema", "-s", "base", "attributeTypes=GIDNUMBER")
        self.assertEqual(out.count("attributeTypes: "), 1)
        self.assertIn(GID_MAPPING, out)
        gid = GID_MAPPING.replace("(1.3", "( 1.3").replace(" NAME", "   NAME")
        delete = schema + "delete: attributetypes\nattributetypes: %s\nattributetypes: %s\n"
        self.assertEqual(self.modify(delete % (gid, UID_MAPPING))[0], 0)
        self.assertEqual(self.modify(delete % (gid, UID_MAPPING))[0], 16)
        rc, out, _ = search(self.server, "cn=schema", "-s", "base", "attributeTypes=uidNumber")
        self.assertEqual(out.strip(), "")

    def test_modrdn_delete_and_extended(self):
        ldif = ("dn: ou=a,o=corp\nobjectClass: organizationalUnit\nou: a\n\n"
                "dn: ou=b,o=corp\nobjectClass: organizationalUnit\nou: b\n\n"
                "dn: cn=p,ou=a,o=corp\nobjectClass: inetOrgPerson\ncn: p\nsn: p\n")
        self.assertEqual(run_tool(self.server, "ldapadd", input_text=ldif)[0], 0)
        self.assertEqual(run_tool(self.server, "ldapdelete", "ou=a,o=corp")[0], 66)
        rc, _, err = run_tool(self.server, "ldapmodrdn", "-r", "-s", "ou=b,o=corp",
                              "cn=p,ou=a,o=corp", "cn=q")
        self.assertEqual(rc, 0, err)
        rc, out, _ = search(self.server, "cn=q,ou=b,o=corp", "-s", "base", "objectclass=*", "cn")
        self.assertEqual(out.split(), ["dn:", "cn=q,ou=b,o=corp", "cn:", "q"])
        rc, _, _ = run_tool(self.server, "ldapmodrdn", "ou=b,o=corp", "ou=c")  # moves a subtree
        self.assertEqual(rc, 0)
        self.assertEqual(search(self.server, "cn=q,ou=c,o=corp", "-s", "base", "cn=q")[0], 0)
        self.assertEqual(run_tool(self.server, "ldapdelete", "cn=q,ou=c,o=corp")[0], 0)
        self.assertEqual(run_tool(self.server, "ldapdelete", "cn=q,ou=c,o=corp")[0], 32)
        ok = run_tool(self.server, "ldapexop", "1.3.6.1.4.1.32473.1.27.100.49:Dummy Value")
        self.assertEqual(ok[0], 0, ok[2])
        self.assertEqual(run_tool(self.server, "ldapexop", "1.3.6.1.4.1.32473.1.27.100.7")[0], 0)
        rc, _, err = run_tool(self.server, "ldapexop", "1.2.3.4")
        self.assertNotEqual(rc, 0)
        self.assertIn("Protocol error (2)", err)

    def test_writes_over_ldaps(self):
        rc, _, err = self.modify("dn: cn=ombrel,o=corp\nchangetype: modify\nadd: indexDefinition\n"
                                 "indexDefinition: 0$gidNumber$0$0$2$1$gidNumber\n", tls=True)
        self.assertEqual(rc, 0, err)
        rc, _, _ = self.modify("dn: cn=ombrel,o=corp\nchangetype: modify\nadd: indexDefinition\n"
                               "indexDefinition: 0$gidNumber$0$0$2$1$gidNumber\n", tls=True)
        self.assertEqual(rc, 20)


class OptionsTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)

    def server(self, *args, **kwargs):
        server = OmbrelServer(self.tmp.name, extra_args=args, **kwargs)
        self.addCleanup(server.stop)
        return server.start()

    def test_cleartext_refusal_vendor_version_and_dsa_name(self):
        server = self.server("--refuse-cleartext-bind", "--no-vendor-version", "--no-dsa-name")
        rc, _, _ = search(server, "o=corp", "objectclass=*", bind=("-D", "cn=admin,o=corp",
                                                                   "-w", "secret"))
        self.assertEqual(rc, 13)
        rc, out, _ = search(server, "", "-s", "base", "objectclass=*", tls=True,
                            bind=("-D", "cn=admin,o=corp", "-w", "secret"))
        self.assertEqual(rc, 0)
        self.assertNotIn("vendorVersion", out)
        self.assertNotIn("dsaName", out)

    def test_fault_rules_and_dump(self):
        rules = pathlib.Path(self.tmp.name) / "rules"
        rules.write_text("# refused twice\nmodify:O=Corp:50:2\n")
        server = self.server("--fail-file", str(rules), "--fail", "delete:*:80",
                             "--fail", "extended:1.3.6.1.4.1.32473.1.27.100.49:1")
        before = server.dump()
        change = "dn: o=corp\nchangetype: modify\nreplace: description\ndescription: x\n"
        codes = [run_tool(server, "ldapmodify", input_text=change)[0] for _ in range(3)]
        self.assertEqual(codes, [50, 50, 0])
        self.assertEqual(run_tool(server, "ldapdelete", "ou=ws,o=corp")[0], 80)
        self.assertEqual(run_tool(server, "ldapexop", "1.3.6.1.4.1.32473.1.27.100.49")[0], 1)
        after = server.stop()
        self.assertEqual(after.replace("description: x\n", ""), before)
        self.assertLess(after.index("dn: o=corp\n"), after.index("dn: ou=ws,o=corp\n"))

    def test_dump_loads_again(self):
        server = self.server()
        run_tool(server, "ldapadd", input_text="dn: ou=x,ou=ws,o=corp\nobjectClass: "
                 "organizationalUnit\nou: x\ndescription:: AAEC\n")
        first = server.stop()
        again = OmbrelServer(pathlib.Path(self.tmp.name) / "again", ldif=first, tls=False)
        self.addCleanup(again.stop)
        again.start()
        self.assertEqual(again.dump(), first)

    def test_bad_command_lines(self):
        for args in (("--fail", "frobnicate:*:1"), ("--ldap-port", "70000"),
                     ("--admin", "cn=nobody,o=corp")):
            server = OmbrelServer(self.tmp.name, extra_args=args, tls=False)
            with self.assertRaises(RuntimeError):
                server.start()
            server.stop()

    def test_help_names_every_option(self):
        done = subprocess.run([find_server_binary(), "--help"], capture_output=True, text=True)
        self.assertEqual(done.returncode, 0)
        for option in ("--listen", "--ldap-port", "--ldaps-port", "--cert", "--key", "--load",
                       "--dump", "--admin", "--vendor-version", "--no-vendor-version",
                       "--server-dn", "--no-dsa-name", "--refuse-cleartext-bind", "--fail",
                       "--fail-file", "--start-delay", "--port-file"):
            self.assertIn("  " + option + " ", done.stdout)
            self.assertIn("`" + option, README)

    def test_start_delay(self):
        port = free_port()
        server = OmbrelServer(self.tmp.name, tls=False,
                              extra_args=("--ldap-port", str(port), "--start-delay", "1"))
        self.addCleanup(server.stop)
        server.start(wait=False)
        started = time.monotonic()
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", port), timeout=2).close()
        server.wait_ready()
        self.assertGreaterEqual(time.monotonic() - started, 0.9)
        socket.create_connection(("127.0.0.1", port), timeout=2).close()


if __name__ == "__main__":
    unittest.main()
