"""add end to end against the test directory server: containers, the Unix
Config and Workstation objects, rights, the proxy user, the store, the cache
files and the daemons, for a table of set-ups, command lines and faults."""

import concurrent.futures
import hashlib
import os
import re
import sys
import tempfile
import time
import unittest
from dataclasses import dataclass, field

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import (LOG, STATE_DIR, STORE, fast_sleep_env, log_messages_of,  # noqa: E402
                     parse_store)
from ombrel import (DEFAULT_ADMIN, DEFAULT_PASSWORD, DEFAULT_TREE, OmbrelServer,  # noqa: E402
                    dump_entries, entry_text)
from sandbox import INIT_LOG, KIVCONFIG, Sandbox, needs_root_or_userns  # noqa: E402

ADD = ["add", "-a", DEFAULT_ADMIN, "-p", DEFAULT_PASSWORD, "-S", "127.0.0.1:{ldap}"]
FRESH = ["-r", "ou=Sales,o=corp", "-w", "ou=Unix,ou=Sales,o=corp"]
JOIN = ["-r", "o=corp", "-w", "ou=ws,o=corp"]
PROXY = ["-y", "cn=proxy,o=corp", "-d", "pw"]

# Standard output, piece by piece. The bind ends its line of waiting dots,
# which is empty when the server answers at once.
BOUND = "\n"
SCHEMA_NEW = (BOUND + "Deleted the attribute mappings gidNumber => GID and uidNumber => UID\n"
              "KIV Schema is extended successfully.\n"
              "KIV Unique id schema is extended successfully.\n"
              "Added the uidNumber and gidNumber indices to the LDAP server successfully\n")
SCHEMA_OLD = (BOUND + "KIV Schema is already extended.\nKIV Unique id schema is already extended.\n"
              "uidNumber and gidNumber attribute indices already exist in the LDAP server\n")
CONTEXT = "Creating the context...done.\n"
CONFIG = "Creating the Unix Config object...done.\n"
CONFIG_EXISTS = "Creating the Unix Config object... already exists\n"
WORKSTATION = "Creating the Unix Workstation object...done.\n"
WORKSTATION_EXISTS = "Creating the Unix Workstation object... already exists\n"
REGISTERED = "Adding the workstation context...done.\n"
DONE = "Configure done successfully.\n"
JOINED = CONFIG + WORKSTATION + REGISTERED + DONE
REJOINED = CONFIG_EXISTS + WORKSTATION_EXISTS + REGISTERED + DONE

# Log messages, piece by piece.
CLEAR = ["Configuring to non SSL connection"]
VERSION = ["LDAP server parameter vendorVersion: Ombrel 8.8 SP8",
           "Schema found was not Corvex. Extending it to RFC2307 schema."]
DSA = "LDAP server parameter dsaName: cn=ombrel,o=corp"
SCHEMA_NEW_LOG = CLEAR + VERSION + [
    "KIV Schema is extended successfuly.", "KIV Unique id schema is extended successfully.", DSA,
    "Added the uidNumber and gidNumber indices to the LDAP server successfully"]
SCHEMA_OLD_LOG = CLEAR + VERSION + [
    "KIV Schema is already extended.", "KIV Unique id schema is already extended.", DSA,
    "uidNumber and gidNumber attribute indices already exist in the LDAP server"]
CONTEXTS_LOG = ["createContext for partitionRoot succeeded.",
                "createContext for workstationContext succeeded."]
CONFIG_LOG = "Creating the Unix Config object done."
WORKSTATION_LOG = "Creating the Unix workstation object done."
TRUSTEE_LOG = "Giving the Workstation object as trustee to the partition root is done"
TRUSTEE_FAILED = "Giving the Workstation object as trustee to the partition root is failed:"
DONE_LOG = ["Configure done successfully."]
JOINED_LOG = SCHEMA_NEW_LOG + CONTEXTS_LOG + [CONFIG_LOG, WORKSTATION_LOG, TRUSTEE_LOG] + DONE_LOG
REJOINED_LOG = SCHEMA_OLD_LOG + CONTEXTS_LOG + [
    "Creating the Unix Config object already exists.",
    "Creating the Unix workstation object already exists."] + DONE_LOG

RESTARTED = ["kivcd stop", "nscd stop", "kivcd start", "nscd start"]
RESTART_ERR = ("Stopping the service 'kivcd'...done.\nStopping the service 'nscd'...done.\n"
               "Starting the service 'kivcd'... Done.\nStarting the service 'nscd'... Done.\n")
CACHE_FILES = [".group_info.dir", ".group_info.pag", ".refresh_info", ".user_info.dir",
               ".user_info.pag"]
KEPT_FILES = ["kiv.ldif", "kiv.log", "kivid.ldif", "kivutils.inp"]
CERT_FILE = ".127.0.0.1.der"
ACCOUNT_CLASSES = ["qupPosixConfig", "qupPosixGidNumberInfo", "qupPosixUidNumberInfo",
                   "qupPosixWorkstation"]

# Directory entries as the dump shows them.
ROOT_ACL = ["1#entry#[Public]#[Entry Rights]"] + [
    "3#subtree#[Public]#" + name for name in (
        "uidNumber", "gidNumber", "homeDirectory", "loginShell", "gecos", "memberUid",
        "description", "qupPosixWorkstationList", "qupPosixWorkstationContexts",
        "qupPosixSalt")]
CONFIG_ACL = ["2#entry#[Public]#qupPosixWorkstationContexts", "2#entry#[Public]#cn"]
WORKSTATION_ACL = ["2#entry#[Public]#groupMembership", "2#entry#[Public]#cn"]


def entry(dn, **attributes):
    return entry_text(dn, [(name, value) for name, values in attributes.items()
                           for value in (values if isinstance(values, list) else [values])])


def trustee(workstation_dn):
    return ["3#subtree#%s#%s" % (workstation_dn, name) for name in (
        "passwordExpirationTime", "loginDisabled", "LoginExpirationTime")]


def workstation_dn(host, context, escaped=None):
    return "cn=UNIX Workstation - " + (escaped or host) + ("," + context if context else "")


def workstation(host, context, escaped=None):
    return entry(workstation_dn(host, context, escaped), objectClass="qupPosixWorkstation",
                 cn="UNIX Workstation - " + host, ACL=WORKSTATION_ACL)


def config(root, *contexts):
    return entry("cn=UNIX Config," + root if root else "cn=UNIX Config", cn="UNIX Config",
                 objectClass="qupPosixConfig", ACL=CONFIG_ACL,
                 qupPosixWorkstationContexts=list(contexts))


def unit(dn, acl=()):
    name = dn.split(",")[0].split("=", 1)[1]
    return entry(dn, objectClass="organizationalUnit", ou=name, ACL=list(acl))


def corp(acl):
    return entry("o=corp", objectClass="organization", o="corp", ACL=acl)


def proxy(password):
    return entry("cn=proxy,o=corp", cn="proxy", sn="proxy", uniqueID="proxy",
                 userPassword=password, objectClass=["inetOrgPerson", "top"])


SCHEMA_CHANGED = "dn: cn=schema (changed)"
INDEXED = entry("cn=ombrel,o=corp", cn="ombrel", objectClass="vrdServer",
                indexDefinition=["0$gidNumber$0$0$2$1$gidNumber", "0$uidNumber$0$0$2$1$uidNumber"])
EXTENDED = [SCHEMA_CHANGED, INDEXED]  # what the schema stage changes on a new server
SALES_WS = workstation_dn("kivhost", "ou=Unix,ou=Sales,o=corp")
SALES = unit("ou=Sales,o=corp")
UNIX = unit("ou=Unix,ou=Sales,o=corp")
SALES_CONFIG = config("ou=Sales,o=corp", "ou=Unix,ou=Sales,o=corp")
FRESH_TREE = EXTENDED + [unit("ou=Sales,o=corp", ROOT_ACL + trustee(SALES_WS)), SALES_CONFIG,
                         UNIX, workstation("kivhost", "ou=Unix,ou=Sales,o=corp")]
JOIN_WS = workstation_dn("kivhost", "ou=ws,o=corp")
JOIN_CONFIG = config("o=corp", "ou=ws,o=corp")
JOIN_TREE = EXTENDED + [corp(ROOT_ACL + trustee(JOIN_WS)), JOIN_CONFIG,
                        workstation("kivhost", "ou=ws,o=corp")]


def schema_record(*classes):
    return "dn: cn=schema\n" + "".join("objectClasses: %s\n" % c for c in classes) + "\n"


CONFIG_CLASS = "( 1.3.6.1.4.1.32473.1.30.2.1 NAME 'qupPosixConfig' SUP top STRUCTURAL MUST cn %s)"
WORKSTATION_CLASS = ("( 1.3.6.1.4.1.32473.1.30.2.2 NAME 'qupPosixWorkstation' SUP top STRUCTURAL "
                     "MUST cn X-VRD_CONTAINMENT ( 'organization' 'organizationalUnit' ) )")


def store_keys(args):
    """The add key table for a command line of ADD plus args (no -R, -z, -c)."""
    option = {args[i]: args[i + 1] for i in range(len(args) - 1)
              if args[i] in ("-r", "-l", "-y", "-d")}
    ssl = "-l" in option
    keys = [("admin-fdn", DEFAULT_ADMIN), ("base-name", option["-r"]), ("ldap-port", "{ldap}")]
    keys += [("ldap-ssl-port", option["-l"]), ("certificate-file-type", "der")] if ssl else []
    keys += [("preferred-server", "127.0.0.1"), ("schema", "rfc2307"), ("num-threads", "5"),
             ("enable-persistent-cache", "yes"), ("cache-only", "no"),
             ("persistent-search", "yes"), ("case-sensitive", "no"), ("user-hash-size", "211"),
             ("group-hash-size", "211"), ("persistent-cache-refresh-period", "28800"),
             ("persistent-cache-refresh-flag", "all"),
             ("type-of-authentication", "2" if ssl else "1"), ("create-home", "yes"),
             ("support-alias-name", "no"), ("support-outside-base-context", "yes")]
    if "-y" in option and "-d" in option:
        keys += [("proxy-user-fdn", option["-y"]), ("proxy-user-pwd", option["-d"])]
    return keys


STORED = "stored"  # store_keys of the case's own command line
ANY = "any"


@dataclass
class Case:
    name: str
    args: list
    out: object  # text, or a pattern that must be found in it
    tree: list = field(default_factory=list)  # new or changed entries and SCHEMA_CHANGED
    status: int = 0
    log: list = None
    host: str = "kivhost"
    before: list = field(default_factory=list)  # (host or None for the same sandbox, args)
    server_ldif: str = ""  # loaded before the default tree
    fail: tuple = ()  # ombrel-server --fail rules
    tls: bool = False
    store_text: str = None  # the store before the run
    keys: object = STORED  # expected store: STORED, a key list, or None for no store
    files: object = None  # files left in /var/lib/velmar-pelk; None: the default; or ANY
    classes: list = field(default_factory=lambda: ACCOUNT_CLASSES)
    readonly_etc: bool = False
    pause: bool = False  # the real 5-second pauses after each schema file
    setup: str = ""  # shell commands run in the sandbox before the command
    err: str = None  # standard error, when it is not the daemons' restart or nothing


def failure(name, args, out, status, tree, log, **kw):
    """A run that ends before the store is written: store, daemons and cache
    files stay as they were. Without a tree it must change nothing at all."""
    if tree is None:
        tree, kw["classes"] = [], []
    return Case(name, args, out, tree, status, log, keys=kw.pop("keys", None), **kw)


def injected(rule, out, tree, log, args=FRESH, **kw):
    code = int(rule.rsplit(":", 1)[1])
    return failure("server answers %d to %s" % (code, rule), args, out, code, tree, log,
                   fail=(rule,), **kw)


TREE_ROOT_FAILURE = (
    "Error:Given partition root is not a container object to contain Config object\n")
HOSTILE = [("a*", "a*"), ("a,b", "a\\,b"), ("a\\2c", "a\\\\2c"), ("(x)", "(x)"), ("#x", "#x"),
           (" x", " x")]
LONG_CONTEXT = "ou=" + "w" * 215 + ",o=corp"  # a workstation DN of exactly 255 characters
LONGER_CONTEXT = "ou=" + "w" * 216 + ",o=corp"

CASES = [
    Case("fresh directory, with the real pauses", FRESH, SCHEMA_NEW + CONTEXT * 2 + JOINED,
         FRESH_TREE, log=JOINED_LOG, pause=True),
    Case("second add finds everything", FRESH, SCHEMA_OLD + REJOINED, before=[(None, FRESH)],
         log=REJOINED_LOG),
    Case("second add with -o re-creates the Workstation object", FRESH + ["-o"],
         SCHEMA_OLD + CONFIG_EXISTS + WORKSTATION_EXISTS
         + "Deleting the Unix Workstation object...done.\n" + WORKSTATION + REGISTERED + DONE,
         before=[(None, FRESH)], log=REJOINED_LOG[:-1] + [
             WORKSTATION_LOG, TRUSTEE_FAILED + "Type or value exists"] + DONE_LOG),
    Case("proxy user", JOIN + PROXY, SCHEMA_NEW + JOINED, JOIN_TREE + [proxy("pw")],
         log=JOINED_LOG),
    Case("proxy user again with a new password", JOIN + PROXY[:-1] + ["pw2"],
         SCHEMA_OLD + REJOINED, [proxy("pw2")], before=[(None, JOIN + PROXY)]),
    Case("proxy user without a password", JOIN + PROXY[:2], SCHEMA_NEW + JOINED, JOIN_TREE),
    Case("empty partition root and workstation context", ["-r", "", "-w", ""],
         SCHEMA_NEW + JOINED, EXTENDED + [config("", ""), workstation("kivhost", "")],
         log=SCHEMA_NEW_LOG + [CONFIG_LOG, WORKSTATION_LOG,
                               TRUSTEE_FAILED + "Server is unwilling to perform"] + DONE_LOG),
    Case("every type of the RDN table, types matched in any case",
         ["-r", "dc=ex,dc=com", "-w", "OU=u,L=x,O=y,C=de"], SCHEMA_NEW + CONTEXT * 2 + JOINED,
         EXTENDED + [entry("C=de", objectClass="country", c="de"),
          entry("O=y,C=de", objectClass="organization", o="y"),
          entry("L=x,O=y,C=de", objectClass="locality", l="x"),
          entry("OU=u,L=x,O=y,C=de", objectClass="organizationalUnit", ou="u"),
          workstation("kivhost", "OU=u,L=x,O=y,C=de"),
          entry("dc=com", objectClass="domain", dc="com"),
          entry("dc=ex,dc=com", objectClass="domain", dc="ex", ACL=ROOT_ACL + trustee(
              workstation_dn("kivhost", "OU=u,L=x,O=y,C=de"))),
          config("dc=ex,dc=com", "OU=u,L=x,O=y,C=de")]),
    Case("stored base name differing only in case", JOIN, SCHEMA_NEW + JOINED, JOIN_TREE,
         store_text="base-name=O=CORP\n",
         keys=[store_keys(JOIN)[1]] + store_keys(JOIN)[:1] + store_keys(JOIN)[2:]),
    Case("a workstation DN of 255 characters", ["-r", "o=corp", "-w", LONG_CONTEXT],
         SCHEMA_NEW + CONTEXT + JOINED,
         EXTENDED + [corp(ROOT_ACL + trustee(workstation_dn("kivhost", LONG_CONTEXT))),
          config("o=corp", LONG_CONTEXT), unit(LONG_CONTEXT),
          workstation("kivhost", LONG_CONTEXT)]),
    Case("rights refused by the server", JOIN, SCHEMA_NEW + JOINED,
         EXTENDED + [JOIN_CONFIG, workstation("kivhost", "ou=ws,o=corp")],
         fail=("modify:o=corp:50",), log=SCHEMA_NEW_LOG + CONTEXTS_LOG + [
             CONFIG_LOG, WORKSTATION_LOG, TRUSTEE_FAILED + "Insufficient access"] + DONE_LOG),
    # The context is missing when looked for and present when added, as when
    # another host makes it at the same moment.
    Case("a context made by another host meanwhile", JOIN, SCHEMA_NEW + CONTEXT + JOINED,
         JOIN_TREE, fail=("search:ou=ws,o=corp:32:2",), log=JOINED_LOG),
    Case("SSL", JOIN + ["-l", "{ldaps}"], SCHEMA_NEW + JOINED, JOIN_TREE, tls=True,
         log=["Stored the certificate of the LDAP server 127.0.0.1 in %s/%s, SHA-256 "
              "fingerprint {fingerprint}" % (STATE_DIR, CERT_FILE)] + JOINED_LOG[1:],
         files=sorted(KEPT_FILES + [CERT_FILE])),
    *[Case("host name %r" % host, JOIN, SCHEMA_NEW + JOINED, host=host, tree=EXTENDED + [
        corp(ROOT_ACL + trustee(workstation_dn(host, "ou=ws,o=corp", escaped))),
        JOIN_CONFIG, workstation(host, "ou=ws,o=corp", escaped)])
      for host, escaped in HOSTILE],
    Case("host name '*' beside another host", JOIN, SCHEMA_OLD + CONFIG_EXISTS + WORKSTATION
         + REGISTERED + DONE, host="*", before=[("a", JOIN)], tree=[
             corp(ROOT_ACL + trustee(workstation_dn("a", "ou=ws,o=corp"))
                  + trustee(workstation_dn("*", "ou=ws,o=corp"))),
             workstation("*", "ou=ws,o=corp")]),

    failure("partition root in a class without treeRoot", ["-r", "", "-w", "ou=ws,o=corp"],
            SCHEMA_NEW + TREE_ROOT_FAILURE, 145, EXTENDED,
            SCHEMA_NEW_LOG + [TREE_ROOT_FAILURE.rstrip("\n")],
            server_ldif=schema_record(CONFIG_CLASS % "X-VRD_CONTAINMENT ( 'organization' ) ")),
    failure("partition root in a class without containment", ["-r", "", "-w", "ou=ws,o=corp"],
            SCHEMA_NEW + TREE_ROOT_FAILURE, 145, EXTENDED,
            SCHEMA_NEW_LOG + [TREE_ROOT_FAILURE.rstrip("\n")],
            server_ldif=schema_record(CONFIG_CLASS % "")),
    failure("workstation context in a class without treeRoot", ["-r", "o=corp", "-w", ""],
            SCHEMA_NEW.replace("extended successfully.\nKIV U",
                               "already extended, updating.\nKIV U")
            + "Error:Given workstation context is not a container object to contain Unix "
              "workstation object\n", 145, EXTENDED,
            CLEAR + VERSION + ["KIV Schema is already extended, updating."]
            + SCHEMA_NEW_LOG[4:] + CONTEXTS_LOG[:1]
            + ["Error:Given workstation context is not a container object to contain Unix "
               "workstation object"], server_ldif=schema_record(WORKSTATION_CLASS)),
    failure("partition root not a container", ["-r", "cn=admin,o=corp", "-w", "ou=ws,o=corp"],
            SCHEMA_NEW + "Not a container object\n", 128, EXTENDED,
            SCHEMA_NEW_LOG + ["Not a container object"]),
    failure("workstation context not a container", ["-r", "o=corp", "-w", "cn=ombrel,o=corp"],
            SCHEMA_NEW + "Not a container object\n", 128, EXTENDED,
            SCHEMA_NEW_LOG + CONTEXTS_LOG[:1] + ["Not a container object"]),
    failure("RDN type outside the table", ["-r", "o=corp", "-w", "cn=x,ou=New,o=corp"],
            SCHEMA_NEW + "Creating the context...Unknown container object\n", 123,
            EXTENDED + [unit("ou=New,o=corp")],
            SCHEMA_NEW_LOG + CONTEXTS_LOG[:1] + ["Unknown container object"]),
    failure("partition root in invalid syntax", ["-r", "o=corp,,x", "-w", "ou=ws,o=corp"],
            SCHEMA_NEW + "Partition root is in invalid DN syntax \"o=corp,,x\"\n", 145,
            EXTENDED, SCHEMA_NEW_LOG),
    failure("workstation context in invalid syntax", ["-r", "o=corp", "-w", "workstations"],
            SCHEMA_NEW + "Workstation context is in invalid DN syntax \"workstations\"\n", 145,
            EXTENDED, SCHEMA_NEW_LOG + CONTEXTS_LOG[:1]),
    failure("stored base name with a trailing blank", JOIN, SCHEMA_NEW
            + "Error: Specified partition root and Partition root in the KIV configuration "
              "file doesn't match.\nVelmar Account Management is not configured\n", 140,
            EXTENDED, SCHEMA_NEW_LOG + [
                "Error: Specified partition root and Partition root in the VRD configuration "
                "file doesn't match.", "Velmar Account Management is not configured"],
            store_text="base-name=o=corp \n", keys=[("base-name", "o=corp ")]),

    injected("modify:cn=schema:53",
             BOUND + "Error in extending the kiv(rfc2307) schema:53\nAdded the uidNumber and "
             "gidNumber indices to the LDAP server successfully\n"
             "Error:Server is unwilling to perform\n",
             [INDEXED], CLEAR + VERSION + ["Error in extending the kiv(rfc2307) schema.", DSA,
                                           SCHEMA_NEW_LOG[-1], "Server is unwilling to perform"],
             classes=[]),
    injected("search:ou=Sales,o=corp:51", SCHEMA_NEW + "Error:Server is busy\n", EXTENDED,
             SCHEMA_NEW_LOG + ["Server is busy"]),
    injected("add:ou=Unix,ou=Sales,o=corp:50",
             SCHEMA_NEW + CONTEXT + "Creating the context...Error:Insufficient access\n",
             EXTENDED + [SALES], SCHEMA_NEW_LOG + CONTEXTS_LOG[:1] + ["Insufficient access"]),
    injected("add:cn=UNIX Config,ou=Sales,o=corp:50", SCHEMA_NEW + CONTEXT * 2
             + "Creating the Unix Config object...\nInsufficient access\nError:Insufficient access\n",
             EXTENDED + [SALES, UNIX], SCHEMA_NEW_LOG + CONTEXTS_LOG + [
                 "Failed to add the Config object:Insufficient access", "Insufficient access"]),
    injected("add:%s:52" % SALES_WS, SCHEMA_NEW + CONTEXT * 2 + CONFIG
             + "Creating the Unix Workstation object...\nServer is unavailable\n"
               "Error:Server is unavailable\n",
             EXTENDED + [unit("ou=Sales,o=corp", ROOT_ACL), config("ou=Sales,o=corp"), UNIX],
             SCHEMA_NEW_LOG + CONTEXTS_LOG + [CONFIG_LOG, "Failed to add the Workstation object:"
                                              "Server is unavailable", "Server is unavailable"],
             args=FRESH + PROXY),
    injected("modify:cn=UNIX Config,ou=Sales,o=corp:50",
             SCHEMA_NEW + CONTEXT * 2 + CONFIG + WORKSTATION
             + "Adding the workstation context...\nInsufficient access\nError:Insufficient access\n",
             FRESH_TREE[:3] + [config("ou=Sales,o=corp")] + FRESH_TREE[4:],
             JOINED_LOG[:-1] + ["Insufficient access"]),
    injected("add:cn=proxy,o=corp:50",
             SCHEMA_NEW + JOINED.replace(DONE, "Error:Insufficient access\n"), JOIN_TREE,
             JOINED_LOG[:-1] + ["Insufficient access"], args=JOIN + PROXY),
    injected("modify:cn=proxy,o=corp:50",
             SCHEMA_OLD + REJOINED.replace(DONE, "Error:Insufficient access\n"), [],
             REJOINED_LOG[:-1] + ["Insufficient access"], args=JOIN + PROXY[:-1] + ["pw2"],
             before=[(None, JOIN + PROXY)], keys=store_keys(JOIN + PROXY)),

    failure("a workstation DN above 255 characters", ["-r", "o=corp", "-w", LONGER_CONTEXT],
            re.compile(r"\b255\b"), 145, None, None),
    failure("a proxy user FDN not naming a cn", JOIN + ["-y", "uid=proxy,o=corp", "-d", "pw"],
            re.compile(r"(?i)proxy"), 145, None, None),
    failure("a proxy user FDN with an empty cn", JOIN + ["-y", "cn=", "-d", "pw"],
            re.compile(r"(?i)proxy"), 145, None, None),
    failure("a schema file that cannot be read", FRESH, BOUND + SCHEMA_NEW.split("\n")[1] + "\n"
            "Error in extending the kiv(rfc2307) schema:1\n" + SCHEMA_NEW.split("\n")[4] + "\n"
            "Error:Operations error\n", 1, [SCHEMA_CHANGED, INDEXED],
            CLEAR + VERSION + ["Error in extending the kiv(rfc2307) schema.", DSA,
                               SCHEMA_NEW_LOG[-1], "Operations error"],
            setup="rm kiv.ldif && mkdir kiv.ldif", classes=[],
            err="kivconfig: cannot read /var/lib/velmar-pelk/kiv.ldif: Is a directory\n"),
    failure("store that cannot be written", JOIN, SCHEMA_NEW + JOINED.replace(
        DONE, "Unable to save /etc/kiv.conf: Read-only file system\n"), 145, JOIN_TREE,
        JOINED_LOG[:-1] + ["Unable to save /etc/kiv.conf: Read-only file system"],
        readonly_etc=True, files=ANY),
]


class AddTest(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        needs_root_or_userns()
        self.tmp = tempfile.TemporaryDirectory(prefix="kiv-add.")
        self.addCleanup(self.tmp.cleanup)
        self.boxes = 0

    def new_box(self, hostname):
        self.boxes += 1
        return Sandbox(os.path.join(self.tmp.name, "box%d" % self.boxes), hostname=hostname)

    def start_server(self, ldif="", extra_args=(), tls=False):
        server = OmbrelServer(os.path.join(self.tmp.name, "server%d" % self.boxes),
                              ldif=ldif + DEFAULT_TREE, extra_args=extra_args, tls=tls)
        server.start()
        self.addCleanup(server.stop)
        return server

    def add(self, box, args, server, pause=False, **sandbox_options):
        args = [a.replace("{ldap}", str(server.ldap_port))
                .replace("{ldaps}", str(server.ldaps_port)) for a in ADD + args]
        env = dict(os.environ) if pause else fast_sleep_env(os.environ)
        return box.run([KIVCONFIG, *args], env=env, timeout=300, **sandbox_options)

    def prepare(self, box, store_text, setup):
        """Daemons running, cache files present, the given store, empty logs."""
        script = ('/etc/init.d/kivcd start && /etc/init.d/nscd start && cd %s && touch %s && '
                  'rm -f kiv.log && : > %s && if [ -n "$1" ]; then printf %%s "$1" > %s; fi && %s'
                  % (STATE_DIR, " ".join(CACHE_FILES + ["kivutils.inp"]), INIT_LOG, STORE,
                     setup or ":"))
        result = box.run(["sh", "-c", script, "sh", store_text or ""])
        self.assertEqual(result.returncode, 0, result.stderr)

    def inspect(self, box):
        """Store, log, init-script calls, files and certificate, in one call."""
        script = ('for f in %s %s %s; do cat "$f" 2>/dev/null || printf "\\1"; printf "\\0"; '
                  'done; ls -A %s; printf "\\0"; od -An -v -tx1 %s/%s 2>/dev/null'
                  % (STORE, LOG, INIT_LOG, STATE_DIR, STATE_DIR, CERT_FILE))
        texts = box.run(["sh", "-c", script]).stdout.split("\0")
        store, log, init, files, certificate = [None if t == "\1" else t for t in texts]
        return {"store": None if store is None else parse_store(store),
                "log": log_messages_of(log), "init": (init or "").splitlines(),
                "files": sorted(files.split()),
                "certificate": bytes.fromhex(certificate.replace("\n", " ")) or None}

    def run_case(self, case):
        server = self.start_server(case.server_ldif, [a for r in case.fail for a in ("--fail", r)],
                                   case.tls)
        box = self.new_box(case.host)
        for host, args in case.before:
            result = self.add(box if host is None else self.new_box(host), args, server)
            self.assertEqual(result.returncode, 0, result.stdout)
        self.prepare(box, case.store_text, case.setup)
        before = dump_entries(server.dump())
        result = self.add(box, case.args, server, case.pause, readonly_etc=case.readonly_etc)
        after = dump_entries(server.dump())
        changed = sorted(SCHEMA_CHANGED if dn == "cn=schema" else text
                         for dn, text in after.items() if before.get(dn) != text)
        classes = set(re.findall(r"NAME '(qupPosix\w+)'", after["cn=schema"]))
        observed = {"status": result.returncode, "stdout": result.stdout,
                    "stderr": result.stderr, "tree": changed,
                    "classes": sorted(classes & set(ACCOUNT_CLASSES)), **self.inspect(box)}
        self.assertEqual(observed, self.expected(case, server, observed))

    def expected(self, case, server, observed):
        ok = case.status == 0
        ports = {"{ldap}": str(server.ldap_port), "{ldaps}": str(server.ldaps_port)}
        fingerprint = server.tls and hashlib.sha256(server.cert_der_bytes).hexdigest().upper()
        keys = store_keys(case.args) if case.keys == STORED else case.keys
        keys = keys and [(k, ports.get(v, v)) for k, v in keys]
        files = case.files or sorted(KEPT_FILES + ([] if ok else CACHE_FILES))
        out = case.out
        if isinstance(out, re.Pattern):
            out = observed["stdout"] if out.search(observed["stdout"]) else out.pattern
        return {"status": case.status, "stdout": out, "stderr": case.err if case.err is not None else RESTART_ERR if ok else "",
                "tree": sorted(case.tree), "classes": case.classes, "store": keys,
                "log": observed["log"] if case.log is None else [
                    m.replace("{fingerprint}", ":".join(re.findall("..", fingerprint or "")))
                    for m in case.log],
                "init": RESTARTED if ok else [],
                "files": observed["files"] if files == ANY else files,
                "certificate": server.cert_der_bytes if case.tls else None}

    def test_table(self):
        for case in CASES:
            with self.subTest(case.name):
                self.run_case(case)

    def test_fifty_hosts_at_once_under_a_new_context(self):
        context = "ou=Fleet,ou=New,o=corp"
        server = self.start_server()
        go = os.path.join(self.tmp.name, "go")
        hosts = ["host%02d" % i for i in range(50)]
        ready = [os.path.join(self.tmp.name, "ready-" + host) for host in hosts]
        boxes = [self.new_box(host) for host in hosts]
        args = [a.replace("{ldap}", str(server.ldap_port))
                for a in ADD + ["-r", "o=corp", "-w", context]]
        # Every sandbox is set up first and then waits for the same signal.
        script = 'touch "$1"; while [ ! -e "$0" ]; do sleep 0.01; done; shift; exec "$@"'
        with concurrent.futures.ThreadPoolExecutor(len(boxes)) as pool:
            runs = [pool.submit(box.run, ["sh", "-c", script, go, flag, KIVCONFIG, *args],
                                env=fast_sleep_env(os.environ), timeout=300)
                    for box, flag in zip(boxes, ready)]
            deadline = time.monotonic() + 120
            while not all(map(os.path.exists, ready)) and time.monotonic() < deadline:
                time.sleep(0.05)
            open(go, "w").close()
            results = [run.result() for run in runs]
        for host, result in zip(hosts, results):
            self.assertEqual((host, result.returncode, result.stdout[-len(DONE):]),
                             (host, 0, DONE), result.stdout)
        entries = dump_entries(server.dump())
        self.assertEqual(entries["ou=New,o=corp"], unit("ou=New,o=corp"))
        self.assertEqual(entries[context], unit(context))
        self.assertEqual(entries["cn=UNIX Config,o=corp"], config("o=corp", context))
        for host in hosts:
            self.assertEqual(entries[workstation_dn(host, context)], workstation(host, context))
        self.assertEqual(entries["o=corp"], corp(ROOT_ACL + [
            value for host in hosts for value in trustee(workstation_dn(host, context))]))


if __name__ == "__main__":
    unittest.main()
