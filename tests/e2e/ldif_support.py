"""Common ground of the LDIF processor's end-to-end tests.

LDIF_APPLY is the ldif-apply tool under test: $LDIF_APPLY (set by CTest), or
the newest build*/bench/ldif/ldif-apply of this checkout. Servers are
Ombrel-compatible test servers on loopback ports (tests/lib/ombrel.py).
"""

import base64
import glob
import os
import subprocess
import sys

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tests", "lib"))

from ombrel import OmbrelServer  # noqa: E402,F401


def find_ldif_apply():
    """Path of ldif-apply: $LDIF_APPLY, else the newest build of this checkout."""
    if os.environ.get("LDIF_APPLY"):
        return os.environ["LDIF_APPLY"]
    candidates = glob.glob(os.path.join(REPO, "build*", "bench", "ldif", "ldif-apply"))
    if not candidates:
        raise FileNotFoundError("ldif-apply not built; set LDIF_APPLY")
    return max(candidates, key=os.path.getmtime)


LDIF_APPLY = find_ldif_apply()
LDAPMODIFY = "/usr/bin/ldapmodify"
ADMIN = "cn=admin,o=corp"
PASSWORD = "secret"
SCHEMA_DN = "cn=schema"


def write_file(directory, name, text):
    """Writes text (str or bytes) to directory/name and returns the path."""
    path = os.path.join(directory, name)
    with open(path, "wb") as out:
        out.write(text.encode() if isinstance(text, str) else text)
    return path


def run_ldif_apply(server, path):
    """Applies path to server with the project's processor."""
    return subprocess.run([LDIF_APPLY, server.uri(), ADMIN, PASSWORD, path],
                          env=server.client_env(), capture_output=True, text=True, timeout=120)


def run_ldapmodify(server, path):
    """Applies path to server with ldapmodify."""
    return subprocess.run(
        [LDAPMODIFY, "-x", "-H", server.uri(), "-D", ADMIN, "-w", PASSWORD, "-f", path],
        env=server.client_env(), capture_output=True, text=True, timeout=120)


def parse_tree(dump):
    """The entries of an LDIF dump as {dn: {attribute: sorted values}}, names
    lower-cased, values as bytes; the schema entry is left out."""
    tree = {}
    for record in dump.replace("\r\n", "\n").split("\n\n"):
        lines = []
        for line in record.split("\n"):
            if line.startswith(" ") and lines:
                lines[-1] += line[1:]
            elif line and not line.startswith("#"):
                lines.append(line)
        if not lines:
            continue
        entry = {}
        for line in lines:
            name, _, rest = line.partition(":")
            if rest.startswith(":"):
                value = base64.b64decode(rest[1:].strip())
            else:
                value = rest.lstrip(" ").encode()
            entry.setdefault(name.lower(), []).append(value)
        if "dn" not in entry:
            continue
        dn = entry.pop("dn")[0].decode().lower()
        if dn != SCHEMA_DN:
            tree[dn] = {name: sorted(values) for name, values in entry.items()}
    return tree
