"""50 clients add and search at once; every entry is there afterwards."""

import pathlib
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[3] / "tests" / "lib"))

from ldaptools import run_tool, search  # noqa: E402
from ombrel import OmbrelServer  # noqa: E402

CLIENTS = 50
ENTRIES_PER_CLIENT = 4


class ConcurrencyTest(unittest.TestCase):
    def test_parallel_adds_and_searches(self):
        with tempfile.TemporaryDirectory() as tmp, OmbrelServer(tmp) as server:
            barrier = threading.Barrier(CLIENTS)
            failures = []

            def client(n):
                unit = "ou=c%d,ou=ws,o=corp" % n
                ldif = "dn: %s\nobjectClass: organizationalUnit\nou: c%d\n\n" % (unit, n)
                ldif += "".join("dn: cn=e%d,%s\nobjectClass: inetOrgPerson\ncn: e%d\nsn: x\n\n"
                                % (i, unit, i) for i in range(ENTRIES_PER_CLIENT))
                barrier.wait()
                rc, _, err = run_tool(server, "ldapadd", input_text=ldif, tls=n % 2 == 0)
                if rc != 0:
                    failures.append((n, "add", rc, err))
                    return
                rc, out, err = search(server, unit, "objectClass=inetOrgPerson", "dn")
                if rc != 0 or out.count("dn: ") != ENTRIES_PER_CLIENT:
                    failures.append((n, "search", rc, out, err))

            threads = [threading.Thread(target=client, args=(n,)) for n in range(CLIENTS)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
            self.assertEqual(failures, [])
            dump = server.stop()
            for n in range(CLIENTS):
                for i in range(ENTRIES_PER_CLIENT):
                    self.assertIn("dn: cn=e%d,ou=c%d,ou=ws,o=corp\n" % (i, n), dump)


if __name__ == "__main__":
    unittest.main()
