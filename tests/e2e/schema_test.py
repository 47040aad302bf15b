"""The schema stage against the test directory server: mappings, the two
schema files, and the indices."""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import DIRECTORY_PROBE, FASTSLEEP, SandboxTest  # noqa: E402
from ombrel import DEFAULT_ADMIN, DEFAULT_PASSWORD, OmbrelServer  # noqa: E402

MAPPINGS = "Deleted the attribute mappings gidNumber => GID and uidNumber => UID\n"
EXTENDED = "KIV Schema is extended successfully.\n"
ID_EXTENDED = "KIV Unique id schema is extended successfully.\n"
INDICES = "Added the uidNumber and gidNumber indices to the LDAP server successfully\n"
ALREADY = "KIV Schema is already extended.\n"
ID_ALREADY = "KIV Unique id schema is already extended.\n"
INDICES_EXIST = "uidNumber and gidNumber attribute indices already exist in the LDAP server\n"
PAM_ATTRIBUTE = ("( 1.3.6.1.4.1.32473.1.30.1.4 NAME 'qupPosixPAMServiceExcludeList' DESC 'PAM "
                 "services that do not authenticate against the directory' EQUALITY "
                 "caseIgnoreMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )")


class SchemaTest(SandboxTest):
    server_args = ()

    def setUp(self):
        super().setUp()
        self._server_dir = tempfile.TemporaryDirectory(prefix="kiv-ombrel.")
        self.addCleanup(self._server_dir.cleanup)
        self.server = OmbrelServer(self._server_dir.name, extra_args=self.server_args)
        self.server.start()
        self.addCleanup(self.server.stop)

    def update_schema(self, upgrade=0, pause=False):
        env = self.env(PELK_PWD=DEFAULT_PASSWORD)
        if not pause:
            env.update(LD_PRELOAD=FASTSLEEP, ASAN_OPTIONS="verify_asan_link_order=0")
        return self.box.run([DIRECTORY_PROBE, "-u", str(upgrade), "1", "127.0.0.1",
                             str(self.server.ldap_port), DEFAULT_ADMIN], env=env)

    def ldapsearch(self, *args):
        result = subprocess.run(["ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-H",
                                 self.server.uri(), *args], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout

    def class_definitions(self, name):
        return [line for line in self.ldapsearch("-b", "cn=schema", "-s", "base",
                                                 "(objectClasses=%s)" % name, "objectClasses")
                .splitlines() if line.startswith("objectClasses:")]

    def index_values(self):
        return [line for line in self.ldapsearch("-b", "cn=ombrel,o=corp", "-s", "base",
                                                 "indexDefinition").splitlines()
                if line.startswith("indexDefinition:")]


class FreshServer(SchemaTest):
    def test_first_run_extends_and_second_finds_everything(self):
        # The real pauses run here, once per file applied.
        first = self.update_schema(pause=True)
        self.assertEqual(first.returncode, 0, first.stdout + first.stderr)
        self.assertEqual(first.stdout, "\nconnected\n" + MAPPINGS + EXTENDED + ID_EXTENDED + INDICES)
        for name in ("qupPosixConfig", "qupPosixWorkstation", "qupPosixUidNumberInfo",
                     "qupPosixGidNumberInfo"):
            self.assertEqual(len(self.class_definitions(name)), 1, name)
        self.assertEqual(self.index_values(), [
            "indexDefinition: 0$gidNumber$0$0$2$1$gidNumber",
            "indexDefinition: 0$uidNumber$0$0$2$1$uidNumber"])
        log = self.log_messages()
        self.assertIn("KIV Schema is extended successfuly.", log)
        self.assertIn("Added the uidNumber and gidNumber indices to the LDAP server successfully",
                      log)

        second = self.update_schema()
        self.assertEqual(second.returncode, 0, second.stdout)
        self.assertEqual(second.stdout, "\nconnected\n" + ALREADY + ID_ALREADY + INDICES_EXIST)

    def test_extended_schema_takes_the_account_objects(self):
        self.assertEqual(self.update_schema().returncode, 0)
        objects = """dn: cn=UNIX Config,o=corp
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
        result = subprocess.run(["ldapadd", "-x", "-H", self.server.uri(), "-D", DEFAULT_ADMIN,
                                 "-w", DEFAULT_PASSWORD], input=objects, capture_output=True,
                                text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_missing_attribute_applies_the_file_again(self):
        self.assertEqual(self.update_schema().returncode, 0)
        delete = ("dn: cn=schema\nchangetype: modify\ndelete: attributeTypes\n"
                  "attributeTypes: %s\n-\n" % PAM_ATTRIBUTE)
        result = subprocess.run(["ldapmodify", "-x", "-H", self.server.uri(), "-D",
                                 DEFAULT_ADMIN, "-w", DEFAULT_PASSWORD], input=delete,
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        again = self.update_schema()
        self.assertEqual(again.returncode, 0, again.stdout)
        self.assertIn("KIV Schema is already extended, updating.\n", again.stdout)
        self.assertIn("qupPosixPAMServiceExcludeList",
                      self.ldapsearch("-b", "cn=schema", "-s", "base",
                                      "(attributeTypes=qupPosixPAMServiceExcludeList)",
                                      "attributeTypes"))

    def test_upgrade_considers_only_the_unique_id_schema(self):
        result = self.update_schema(upgrade=1)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertEqual(result.stdout, "\nconnected\n" + MAPPINGS + ID_EXTENDED + INDICES)
        self.assertEqual(self.class_definitions("qupPosixConfig"), [])

    def test_missing_schema_files(self):
        self.box.run(["rm", "/var/lib/velmar-pelk/kivid.ldif"])
        result = self.update_schema()
        self.assertEqual(result.returncode, 125)  # -6019
        self.assertTrue(result.stdout.endswith(INDICES + "Schema file not found\n"), result.stdout)
        self.box.run(["rm", "/var/lib/velmar-pelk/kiv.ldif"])
        result = self.update_schema()
        self.assertEqual(result.returncode, 126)  # -6018
        self.assertNotIn("KIV Schema", result.stdout)


class Version85(SchemaTest):
    server_args = ("--vendor-version", "Ombrel 8.5.1")

    def test_no_indices_up_to_8_5(self):
        result = self.update_schema()
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertNotIn("indices", result.stdout)
        self.assertEqual(self.index_values(), [])


class Version86(SchemaTest):
    server_args = ("--vendor-version", "v8.6")

    def test_indices_above_8_5(self):
        result = self.update_schema()
        self.assertTrue(result.stdout.endswith(INDICES), result.stdout)


class WithoutServerEntryName(SchemaTest):
    server_args = ("--no-dsa-name",)

    def test_indices_need_the_server_entry(self):
        result = self.update_schema()
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertNotIn("indices", result.stdout)
        log = self.box.read("/var/lib/velmar-pelk/kiv.log")
        self.assertIn(": Unable to get the LDAP server dn\nAdding the gidNumber and uidNumber "
                      "indices failed.\n", log)
        self.assertEqual(self.index_values(), [])


if __name__ == "__main__":
    unittest.main()
