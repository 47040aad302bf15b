"""Each command once for real; every other case is the unit tests' business."""

from kivtest import (ADMIN_PWD, CERT, INIT_LOG, JOIN, LOG, STATE_DIR, STORE, SandboxTest,
                     fingerprint)
from ombrel import DEFAULT_ADMIN, DEFAULT_PASSWORD

CACHE = [STATE_DIR + "/" + name for name in (".refresh_info", ".user_info.dir", ".user_info.pag",
                                              ".group_info.dir", ".group_info.pag")]
RESTARTED = ["kivcd stop", "nscd stop", "kivcd start", "nscd start"]
CONTEXT, WS = "ou=Unix,ou=Sales,o=corp", "cn=UNIX Workstation - kivhost,ou=Unix,ou=Sales,o=corp"
JOINED = ("Creating the Unix Config object...done.\nCreating the Unix Workstation object...done.\n"
          "Adding the workstation context...done.\nConfigure done successfully.\n")
FIRST_ADD = ("\nDeleted the attribute mappings gidNumber => GID and uidNumber => UID\n"
             "KIV Schema is extended successfully.\nKIV Unique id schema is extended successfully."
             "\nAdded the uidNumber and gidNumber indices to the LDAP server successfully\n"
             + "Creating the context...done.\n" * 2 + JOINED)
FOUND = ("KIV Unique id schema is already extended.\nuidNumber and gidNumber attribute indices "
         "already exist in the LDAP server\nCreating the Unix Config object... already exists\n"
         "Creating the Unix Workstation object... already exists\n"
         "Adding the workstation context...done.\n")
REMOVED = ("\nDeleting the Unix Workstation object...done.\nDeleting the Config object...done.\n"
           "Deconfigure done successfully.\n")
LOCAL = [  # words, standard output, init-script calls
    (["simple_add", "-r", "o=corp", "-S", "dir.example", "-y", "cn=proxy,o=corp", "-d", "hush"],
     "", ["kivcd start"]),
    (["get", "help", "preferred-server"], "preferred-server (text, no default): the directory "
     "server the services ask first\n", []),
    (["set", "num-threads=7", "PREFERRED-SERVER=new.example"],
     "Updated the preferred server successfully\n", ["kivcd stop", "kivcd start"]),
    (["get", "num-threads", "-vpreferred-server"],
     "num-threads=7\npreferred-server=new.example\n", []),
    (["cache_refresh"], "", ["kivcd stop", "kivcd start"]),
]


class Commands(SandboxTest):
    with_server = True

    def step(self, words, stdout, init_calls, started=True):
        """Runs kivconfig with cache files and, if started, the daemons; returns the tree."""
        self.box.sh('touch "$@" && %s: > %s && rm -f %s' % (
            "/etc/init.d/kivcd start && /etc/init.d/nscd start && " if started else "", INIT_LOG,
            LOG), *CACHE)
        result = self.kiv(*words, env=ADMIN_PWD)
        calls = (self.box.read(INIT_LOG) or "").splitlines()
        self.assertEqual((result.returncode, result.stdout, calls),
                         (0, result.stdout if stdout is None else stdout, init_calls),
                         result.stdout + result.stderr)
        return self.tree()

    def tree(self):
        return {block.split("\n", 1)[0]: block for block in self.server.dump().split("\n\n")
                if block.startswith("dn: ") and not block.startswith("dn: cn=schema\n")}

    def test_add_twice_over_ssl_then_k_and_rm_pinned_to_the_stored_certificate(self):
        ports = (self.server.ldap_port, self.server.ldaps_port)
        add = ["add", "-a", DEFAULT_ADMIN, "-p", DEFAULT_PASSWORD, "-r", "ou=Sales,o=corp", "-w",
               CONTEXT, "-S", "127.0.0.1:%d" % ports[0], "-l", str(ports[1]), "-y",
               "cn=proxy,o=corp", "-d", "pw"]
        before = self.tree()
        joined = self.step(add, FIRST_ADD, RESTARTED)
        self.assertEqual(sorted(set(joined) - set(before)), sorted(
            "dn: " + dn for dn in ("ou=Sales,o=corp", CONTEXT, "cn=UNIX Config,ou=Sales,o=corp",
                                   WS, "cn=proxy,o=corp")))
        self.assertIn("ACL: 3#subtree#%s#loginDisabled" % WS, joined["dn: ou=Sales,o=corp"])
        self.assertLessEqual({("ldap-ssl-port", str(ports[1])), ("type-of-authentication", "2"),
                              ("proxy-user-pwd", "pw"), ("base-name", "ou=Sales,o=corp")},
                             set(self.store()))
        shown = fingerprint(self.server.cert_der_bytes)
        self.assertEqual(self.certificate(), self.server.cert_der_bytes)
        self.assertIn("Stored the certificate of the LDAP server 127.0.0.1 in %s, SHA-256 "
                      "fingerprint %s" % (CERT, shown), self.log_messages())
        again = "\nKIV Schema is already extended.\n" + FOUND + "Configure done successfully.\n"
        self.assertEqual(self.step(add, again, RESTARTED), joined)
        self.step(["-k"], "\nCerticate file updated sucessfully\nSHA-256 fingerprint of the "
                  "stored certificate: %s\n" % shown, [])
        removed = self.step(["rm"], REMOVED, ["kivcd stop", "nscd stop", "nscd start"])
        gone = ("dn: " + WS, "dn: cn=UNIX Config,ou=Sales,o=corp")
        self.assertEqual(removed, {dn: entry for dn, entry in joined.items() if dn not in gone})
        self.assertEqual(self.log_messages(), ["Deconfigure done successfully."])  # over SSL
        left = self.box.sh("ls -A %s; ls %s" % (STATE_DIR, STORE)).stdout.split()
        self.assertEqual(left, ["kiv.ldif", "kiv.log", "kivid.ldif"])

    def test_upgrade_from_the_old_client_restarts_the_daemons_once(self):
        port = "127.0.0.1:%d" % self.server.ldap_port
        joined = self.step(JOIN + ["-S", port], None, RESTARTED)
        old = ["/var/vrdqup/.user_info", "/var/vrdqup/.group_info", "/var/vrdqup/.refresh_info"]
        self.box.sh('rm %s && mkdir /var/vrdqup && touch "$@" && printf "%s" > /etc/vrd.conf' % (
            STORE, "t3v.qup.base-name=corp\\nt3v.vrd.preferred-server=127.0.0.1\\nt3v.qup.num-"
            "threads=9\\nt3v.qup.create-home=no\\n"), *old)
        upgraded = self.step(["upgrade", "-a", DEFAULT_ADMIN, "-S", port],
                             "\n" + FOUND + "Upgrade done successfully.\n", RESTARTED)
        self.assertEqual(upgraded, joined)
        self.assertLessEqual({("base-name", "o=corp"), ("num-threads", "9"),
                              ("create-home", "no"), ("user-hash-size", "211")}, set(self.store()))
        left = self.box.sh('for f; do [ ! -e "$f" ] || echo "$f"; done', "/etc/vrd.conf", *old)
        self.assertEqual(left.stdout, "/etc/vrd.conf\n")

    def test_simple_add_get_set_help_and_cache_refresh(self):
        for words, stdout, init_calls in LOCAL:
            with self.subTest(words[0]):
                self.step(words, stdout, init_calls, started=False)
        self.assertEqual(self.box.sh('ls "$@"', *CACHE).stdout, "")
        listing = self.kiv("get").stdout
        store = self.box.read(STORE).replace("proxy-user-pwd=hush", "proxy-user-pwd=********")
        self.assertEqual(sorted(listing.splitlines()), sorted(store.splitlines()))
        self.assertIn("proxy-user-fdn=cn=proxy,o=corp\n", listing)
