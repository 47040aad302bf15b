"""Runs the ldap-utils clients against an OmbrelServer for these tests."""

import subprocess

ADMIN = ("-D", "cn=admin,o=corp", "-w", "secret")


def run_tool(server, tool, *args, input_text=None, tls=False, bind=ADMIN):
    """Runs an ldap-utils tool; returns (exit status, stdout, stderr)."""
    command = [tool, "-x", "-H", server.uri(tls=tls), *bind, *args]
    done = subprocess.run(command, input=input_text, capture_output=True, text=True,
                          env=server.client_env(), timeout=30)
    return done.returncode, done.stdout, done.stderr


def search(server, base, *args, tls=False, bind=()):
    return run_tool(server, "ldapsearch", "-LLL", "-o", "ldif-wrap=no", "-b", base, *args,
                    tls=tls, bind=bind)
