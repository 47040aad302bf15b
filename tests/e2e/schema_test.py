"""The schema stage against the test directory server: what the user sees and
the schema and indices the installed schema files leave in the directory.
The requests of each case are unit-tested (src/schema)."""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import DIRECTORY_PROBE, FASTSLEEP, SandboxTest  # noqa: E402
from ombrel import DEFAULT_ADMIN, DEFAULT_PASSWORD, OmbrelServer  # noqa: E402

INDICES = "Added the uidNumber and gidNumber indices to the LDAP server successfully\n"
PAM_ATTRIBUTE = ("( 1.3.6.1.4.1.32473.1.30.1.4 NAME 'qupPosixPAMServiceExcludeList' DESC 'PAM "
                 "services that do not authenticate against the directory' EQUALITY "
                 "caseIgnoreMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )")
ACCOUNT_OBJECTS = """dn: cn=UNIX Config,o=corp
objectClass: qupPosixConfig
cn: UNIX Config
ACL: 2#entry#[Public]#qupPosixWorkstationContexts
ACL: 2#entry#[Public]#cn
qupPosixWorkstationContexts: ou=ws,o=corp

dn: cn=UNIX Workstation - kivhost,ou=ws,o=corp
objectClass: qupPosixWorkstation
ACL: 2#entry#[Public]#groupMembership
ACL: 2#entry#[Public]#cn

dn: cn=UNIX Config
objectClass: qupPosixConfig
cn: UNIX Config

dn: cn=uid,o=corp
objectClass: qupPosixUidNumberInfo
cn: uid
qupPosixNextUidNumber: 1000

dn: cn=user,o=corp
objectClass: inetOrgPerson
objectClass: posixAccount
cn: user
sn: user
uid: user
uidNumber: 1000
gidNumber: 100
homeDirectory: /home/user
"""


class SchemaTest(SandboxTest):
    def setUp(self):
        super().setUp()
        server_dir = tempfile.TemporaryDirectory(prefix="kiv-ombrel.")
        self.addCleanup(server_dir.cleanup)
        self.server = OmbrelServer(server_dir.name)
        self.server.start()
        self.addCleanup(self.server.stop)

    def update_schema(self, pause=False):
        env = self.env(PELK_PWD=DEFAULT_PASSWORD)
        if not pause:
            env.update(LD_PRELOAD=FASTSLEEP, ASAN_OPTIONS="verify_asan_link_order=0")
        return self.box.run([DIRECTORY_PROBE, "-u", "0", "1", "127.0.0.1",
                             str(self.server.ldap_port), DEFAULT_ADMIN], env=env)

    def ldap(self, tool, *args, input=None):
        bind = ["-D", DEFAULT_ADMIN, "-w", DEFAULT_PASSWORD] if tool != "ldapsearch" else ["-LLL"]
        result = subprocess.run([tool, "-x", "-o", "ldif-wrap=no", "-H", self.server.uri(),
                                 *bind, *args], input=input, capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return result.stdout

    def schema_values(self, kind, name):
        return [line for line in self.ldap("ldapsearch", "-b", "cn=schema", "-s", "base",
                                           "(%s=%s)" % (kind, name), kind).splitlines()
                if line.startswith(kind + ":")]

    def test_extend_then_find_everything_then_update(self):
        # The real pauses run here, once per file applied.
        first = self.update_schema(pause=True)
        self.assertEqual(first.returncode, 0, first.stdout + first.stderr)
        self.assertEqual(first.stdout,
                         "connected\n"
                         "Deleted the attribute mappings gidNumber => GID and uidNumber => UID\n"
                         "KIV Schema is extended successfully.\n"
                         "KIV Unique id schema is extended successfully.\n" + INDICES)
        for name in ("qupPosixConfig", "qupPosixWorkstation", "qupPosixUidNumberInfo",
                     "qupPosixGidNumberInfo"):
            self.assertEqual(len(self.schema_values("objectClasses", name)), 1, name)
        indices = self.ldap("ldapsearch", "-b", "cn=ombrel,o=corp", "-s", "base",
                            "indexDefinition")
        self.assertEqual([line for line in indices.splitlines()
                          if line.startswith("indexDefinition:")],
                         ["indexDefinition: 0$gidNumber$0$0$2$1$gidNumber",
                          "indexDefinition: 0$uidNumber$0$0$2$1$uidNumber"])
        self.assertIn("KIV Schema is extended successfuly.", self.log_messages())
        # The extended schema takes the objects that add creates.
        self.ldap("ldapadd", input=ACCOUNT_OBJECTS)

        second = self.update_schema()
        self.assertEqual(second.returncode, 0, second.stdout)
        self.assertEqual(second.stdout,
                         "connected\nKIV Schema is already extended.\n"
                         "KIV Unique id schema is already extended.\n"
                         "uidNumber and gidNumber attribute indices already exist in the LDAP "
                         "server\n")

        # Without one of its attribute types, kiv.ldif is applied again and
        # its already present definitions do not make it fail.
        self.ldap("ldapmodify", input="dn: cn=schema\nchangetype: modify\n"
                  "delete: attributeTypes\nattributeTypes: %s\n-\n" % PAM_ATTRIBUTE)
        third = self.update_schema()
        self.assertEqual(third.returncode, 0, third.stdout)
        self.assertIn("KIV Schema is already extended, updating.\n", third.stdout)
        self.assertEqual(len(self.schema_values("attributeTypes",
                                                "qupPosixPAMServiceExcludeList")), 1)


if __name__ == "__main__":
    unittest.main()
