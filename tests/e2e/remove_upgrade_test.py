"""rm and upgrade end to end: the directory objects they delete or reuse, the
store, the daemons and the local files."""

import collections
import os
import re
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import ALREADY_REPORTED_STATUS, FASTSLEEP, STORE, SandboxTest  # noqa: E402
from ombrel import DEFAULT_PASSWORD, DEFAULT_TREE, OmbrelServer  # noqa: E402
from sandbox import KIVCONFIG, REPO, Sandbox  # noqa: E402

CERT = "/var/lib/velmar-pelk/.127.0.0.1.der"
LOCAL_FILES = [STORE, CERT, "/var/lib/velmar-pelk/kivutils.inp"] + [
    "/var/lib/velmar-pelk/" + name for name in
    (".refresh_info", ".user_info.dir", ".user_info.pag", ".group_info.dir", ".group_info.pag")]
WS, WS2 = "ou=ws,o=corp", "ou=ws2,o=corp"
CONFIG_DN = "cn=UNIX Config,o=corp"
B = "\n"  # the line end after the bind's answer
W = "Deleting the Unix Workstation object...done.\n"
C = "Deleting the Config object...done.\n"
DONE = "Deconfigure done successfully.\n"
NOT_CONFIGURED = "Velmar Account Management is not configured\n"
# The host-name tool refuses names such as "*", the system call takes them.
SET_HOSTNAME_AND_EXEC = ("import os, socket, sys; socket.sethostname(sys.argv[1]); "
                         "os.execv(sys.argv[2], sys.argv[2:])")
STOPPED = ["kivcd stop", "nscd stop", "nscd start"]
CORVEX = dict(config_class="Unix:Config", attr="WorkstationContexts", cls="UNIX:Workstation")


def schema_record():
    """The definitions of kiv.ldif, and the corvex names, as one loadable record."""
    with open(os.path.join(REPO, "data", "kiv.ldif")) as f:
        text = re.sub(r"\n ", "", f.read())
    values = re.findall(r"^((?:attributeTypes|objectClasses): .*)$", text, re.M) + [
        "attributeTypes: ( 1.3.6.1.4.1.32473.9.1 NAME 'WorkstationContexts' SYNTAX "
        "1.3.6.1.4.1.1466.115.121.1.12 )",
        "objectClasses: ( 1.3.6.1.4.1.32473.9.2 NAME 'Unix:Config' SUP top STRUCTURAL "
        "MUST cn MAY WorkstationContexts )",
        "objectClasses: ( 1.3.6.1.4.1.32473.9.3 NAME 'UNIX:Workstation' SUP top STRUCTURAL "
        "MUST cn )"]
    return "dn: cn=schema\n" + "\n".join(values) + "\n\n"


def config(*contexts, config_class="qupPosixConfig", attr="qupPosixWorkstationContexts", **_):
    lines = "".join("%s: %s\n" % (attr, context) for context in contexts)
    return "dn: %s\nobjectClass: %s\ncn: UNIX Config\n%s\n" % (CONFIG_DN, config_class, lines)


def ws_dn(host, context=WS):
    return "cn=UNIX Workstation - %s,%s" % (host.replace("=", "\\="), context)


def ws(host, context=WS, cls="qupPosixWorkstation", **_):
    return "dn: %s\nobjectClass: %s\ncn: UNIX Workstation - %s\n\n" % (
        ws_dn(host, context), cls, host)


def entries(dump):
    """dn -> attribute lines of a sorted dump."""
    return {block.split("\n", 1)[0]: block.split("\n")[1:]
            for block in dump.strip().split("\n\n") if block.startswith("dn: ")}


def store_text(port, **changes):
    keys = {"admin-fdn": "cn=admin,o=corp", "base-name": "o=corp", "ldap-port": port,
            "preferred-server": "127.0.0.1", "certificate-file-type": "der", "schema": "rfc2307"}
    keys.update(changes)
    return "".join("%s=%s\n" % item for item in keys.items() if item[1] is not None)


ONE = config(WS) + ws("kivhost")
TWO_HOSTS = ONE + ws("other")
CORVEX_TREE = config(WS, **CORVEX) + ws("kivhost", **CORVEX) + ws("other", **CORVEX)

# One rm: its exit status and stdout, the DNs it deletes and the contexts it
# withdraws, on a host named host with the store changes given. The request
# sequences of failed searches and deletes are rows of rm's unit test; the
# failures here show that a failed rm leaves the host and the tree alone.
case = collections.namedtuple("case", "name tree code stdout gone withdrawn host args store fail",
                              defaults=((), (), "kivhost", (), {}, ()))


BOTH = [ws_dn("kivhost"), CONFIG_DN]
RM_CASES = [
    case("first of two hosts", TWO_HOSTS, 0, B + W + DONE, [ws_dn("kivhost")]),
    case("two contexts", config(WS, WS2) + ws("kivhost"), 0, B + W + DONE, [ws_dn("kivhost")],
         [WS]),
    case("object outside the listed context", config(WS) + ws("kivhost", WS2), 0, B + C + DONE,
         [CONFIG_DN]),
    # The server lists "a!" before "a*": an unescaped filter would find it first.
    case("hostile name a*", config(WS) + ws("a*") + ws("a!"), 0, B + W + DONE, [ws_dn("a*")],
         host="a*"),
    case("hostile name a)(cn=*", config(WS) + ws("a)(cn=*") + ws("a"), 0, B + W + DONE,
         [ws_dn("a)(cn=*")], host="a)(cn=*"),
    case("-r and -S lose to the store", ONE, 0, B + W + C + DONE, BOTH,
         args=("-r", "o=elsewhere", "-S", "elsewhere:1")),
    case("-a, no stored admin", ONE, 0, B + W + C + DONE, BOTH, args=("-a", "cn=admin,o=corp"),
         store={"admin-fdn": None}),
    case("-a over the stored admin", ONE, ALREADY_REPORTED_STATUS,
         B + "Error:cn=nobody,o=corp Invalid credentials\n", args=("-a", "cn=nobody,o=corp")),
    case("no ldap-port: the -S port stays", ONE, 0,
         "Error reading the ldap port number\n" + B + W + C + DONE, BOTH, args=("-S", "x:{port}"),
         store={"ldap-port": None}),
    case("failed Config search", ONE, 51, B + "Error:Server is busy\n", fail=["search:o=corp:51"]),
    case("failed withdrawal", ONE, 53, B + W + "Error:Server is unwilling to perform\n", BOTH[:1],
         fail=["modify:" + CONFIG_DN + ":53"]),
] + [case("store without " + key, ONE, 140, NOT_CONFIGURED, store={key: None})
     for key in ("base-name", "admin-fdn", "preferred-server")] + [
    case("schema %r" % value, CORVEX_TREE, code, stdout, gone, store={"schema": value})
    for value, code, stdout, gone in (("corvex", 0, B + W + DONE, BOTH[:1]),
                                      ("CorVex", 0, B + W + DONE, BOTH[:1]),
                                      ("rfc2307", 140, B + NOT_CONFIGURED, ()),
                                      ("", 140, B + NOT_CONFIGURED, ()),
                                      (None, 140, B + NOT_CONFIGURED, ()))]


class DirectoryTest(SandboxTest):
    def start_server(self, tree, fail=()):
        directory = tempfile.mkdtemp(dir=self._state.name)
        ldif = "%s\ndn: %s\nobjectClass: organizationalUnit\nou: ws2\n\n%s%s" % (
            DEFAULT_TREE, WS2, schema_record(), tree)
        self.server = OmbrelServer(directory, ldif=ldif,
                                   extra_args=[a for rule in fail for a in ("--fail", rule)])
        self.server.start()
        self.addCleanup(self.server.stop)
        return entries(self.server.dump())

    def prepare_host(self, text, files=LOCAL_FILES):
        """Both daemons running, files[0] holding text and the other files."""
        script = ('cat > "$1" && chmod 600 "$1" && shift && for f; do mkdir -p "${f%/*}" && '
                  'echo x > "$f"; done && /etc/init.d/kivcd start && /etc/init.d/nscd start && '
                  ': > /var/log/kiv-initscripts.log')
        result = self.box.run(["sh", "-c", script, "sh", *files], input=text)
        self.assertEqual(result.returncode, 0, result.stderr)

    def files_left(self, files):
        script = 'for f; do [ ! -e "$f" ] || echo "$f"; done'
        return self.box.run(["sh", "-c", script, "sh", *files]).stdout.split()

    def run_kiv(self, host, *args, fast=False, **options):
        """kivconfig on a host of any name; fast skips the pauses after schema
        files."""
        env = self.env(PELK_PWD=DEFAULT_PASSWORD)
        if fast:
            env.update(LD_PRELOAD=FASTSLEEP, ASAN_OPTIONS="verify_asan_link_order=0")
        return self.box.run([sys.executable, "-c", SET_HOSTNAME_AND_EXEC, host, KIVCONFIG, *args],
                            env=env, **options)


class Remove(DirectoryTest):
    def test_cases(self):
        for c in RM_CASES:
            with self.subTest(c.name):
                self.box = Sandbox(tempfile.mkdtemp(dir=self._state.name))
                before = self.start_server(c.tree, c.fail)
                port = str(self.server.ldap_port)
                self.prepare_host(store_text(port, **c.store))
                log_size = len(self.server.log_text())
                result = self.run_kiv(c.host, "rm",
                                      *[a.replace("{port}", port) for a in c.args])
                bound = "bind" in self.server.log_text()[log_size:]
                self.assertEqual((result.returncode, result.stdout), (c.code, c.stdout),
                                 result.stderr)
                # A store without the connection's values fails before any bind.
                self.assertEqual(bound, c.stdout != NOT_CONFIGURED)
                self.assertHost(c.code == 0)
                expected = {dn: [line for line in lines if dn[4:] != CONFIG_DN
                                 or line.split(": ", 1)[-1] not in c.withdrawn]
                            for dn, lines in before.items() if dn[4:] not in c.gone}
                self.assertEqual(entries(self.server.dump()), expected)

    def test_add_then_rm_over_ssl(self):
        self.start_server("")
        added = self.run_kiv("kivhost", "add", "-a", "cn=admin,o=corp", "-r", "o=corp", "-w", WS,
                             "-S", "127.0.0.1:%d" % self.server.ldap_port, "-l",
                             str(self.server.ldaps_port), fast=True)
        self.assertEqual(added.returncode, 0, added.stdout)
        before = entries(self.server.dump())
        self.box.run(["sh", "-c", 'for f; do echo x > "$f"; done; /etc/init.d/nscd start; '
                      ': > /var/log/kiv-initscripts.log', "sh", *LOCAL_FILES[2:]])
        result = self.run_kiv("kivhost", "rm")
        self.assertEqual((result.returncode, result.stdout, result.stderr), (
            0, B + W + C + DONE, "Stopping the service 'kivcd'...done.\nStopping the service "
            "'nscd'...done.\nStarting the service 'nscd'... Done.\n"))
        self.assertHost(True)
        self.assertNotIn("Configuring to non SSL connection", self.log_messages())
        del before["dn: " + ws_dn("kivhost")], before["dn: " + CONFIG_DN]
        self.assertEqual(entries(self.server.dump()), before)

    def assertHost(self, removed):
        """After a successful rm the daemons are stopped and the local files
        gone; after a failed one both are untouched."""
        self.assertEqual(self.box.init_calls(), STOPPED if removed else [])
        self.assertEqual(self.files_left(LOCAL_FILES), [] if removed else LOCAL_FILES)


OLD_FILES = ["/etc/vrd.conf", "/var/vrdqup/.user_info", "/var/vrdqup/.group_info",
             "/var/vrdqup/.refresh_info"]
OLD_BASE, OLD_SERVER = "t3v.qup.base-name=corp\n", "t3v.vrd.preferred-server=127.0.0.1\n"
OLD_TUNING = "t3v.qup.num-threads=9\nt3v.qup.create-home=no\nt3v.qup.user-hash-size=401\n"
NO_BASE = ("Upgrade failed. Unable to read the base-name from /etc/vrd.conf file.\n"
           "Please check whether it is configured already or not.\n")
UPGRADED = [("num-threads", "9"), ("create-home", "no"), ("user-hash-size", "401"),
            ("group-hash-size", "211"), ("base-name", "o=corp"), ("preferred-server", "127.0.0.1")]
RESTARTED = ["kivcd stop", "nscd stop", "kivcd start", "nscd start"]

# name, old file, tree, standard input, exit, stdout start and end
UPGRADE_CASES = [
    ("objects found and reused", OLD_BASE + OLD_SERVER + OLD_TUNING,
     config(WS2, WS) + ws("kivhost"), None, 0, "", "Upgrade done successfully.\n"),
    ("server asked for", OLD_BASE + OLD_TUNING, config(WS) + ws("kivhost"), "127.0.0.1\n", 0,
     "Enter LDAP server:", "Upgrade done successfully.\n"),
    ("no Workstation object", OLD_BASE + OLD_SERVER, config(WS2, WS), None, 115, "",
     "Upgrade failed. Unable to read the Unix workstation object, Please check whether KIV is "
     "already configured or not.\n"),
    ("no base name", OLD_SERVER, ONE, None, 118, NO_BASE, NO_BASE),
    ("a base name too long", "t3v.qup.base-name=%sa\n" % ("a." * 400), ONE, None, 118,
     "The partition root given by t3v.qup.base-name in /etc/vrd.conf is too long\n", NO_BASE),
    ("a server name that is none", OLD_BASE + "t3v.vrd.preferred-server=a b\n", ONE, None, 145,
     "The LDAP server name \"a b\" is not valid", "or an IPv6 address in brackets\n"),
]


class Upgrade(DirectoryTest):
    def test_cases(self):
        for name, old, tree, stdin, code, start, end in UPGRADE_CASES:
            with self.subTest(name):
                self.box = Sandbox(tempfile.mkdtemp(dir=self._state.name))
                before = self.start_server(tree)
                self.prepare_host(old, OLD_FILES)
                result = self.run_kiv("kivhost", "upgrade", "-a", "cn=admin,o=corp", "-S",
                                      "x:%d" % self.server.ldap_port, input=stdin, fast=True)
                self.assertEqual(result.returncode, code, result.stdout + result.stderr)
                self.assertTrue(result.stdout.startswith(start) and result.stdout.endswith(end),
                                result.stdout)
                self.assertEqual(self.files_left(OLD_FILES), OLD_FILES[:1 if code == 0 else 4])
                self.assertEqual(self.box.init_calls(),
                                 RESTARTED if code == 0 else [])
                store = self.store()
                self.assertEqual(store and [pair for pair in UPGRADED if pair in store],
                                 UPGRADED if code == 0 else None)
                after = entries(self.server.dump())
                for dn in ("dn: cn=schema", "dn: o=corp", "dn: cn=ombrel,o=corp"):
                    before.pop(dn), after.pop(dn)
                self.assertEqual(after, before)


if __name__ == "__main__":
    unittest.main()
