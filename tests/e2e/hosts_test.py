"""Where passwords go, and rm of many hosts, a long name, a read-only /etc."""

import concurrent.futures
import os
import time

from kivtest import ADMIN_PWD, JOIN, KIVCONFIG, REPORTED, Sandbox, SandboxTest
from ombrel import DEFAULT_ADMIN, DEFAULT_PASSWORD, free_port

PROXY, PROXY_PASSWORD = "cn=proxy,o=corp", "Pr0xyPassw0rd"
LONGEST_NAME = ("h64-" + "0123456789" * 7)[:64]  # the system's limit


class Hosts(SandboxTest):
    with_server = True

    def host_objects(self):
        return [line for line in self.server.dump().splitlines()
                if line.startswith(("dn: cn=UNIX Workstation - ", "dn: cn=UNIX Config,"))]

    def test_no_password_in_the_process_list_while_the_bind_waits(self):
        server = self.start_server("late", wait=False, ports=(free_port(), free_port()),
                                   extra_args=("--start-delay", "60"))
        # The command line is read once kivconfig says it waits for the server.
        script = ('"$@" > /run/kiv.out & pid=$!; n=0; until grep -q Waiting /run/kiv.out || '
                  '[ $n -gt 300 ]; do n=$((n+1)); sleep 0.05; done; tr "\\0" " " < '
                  '/proc/$pid/cmdline; echo; kill $pid; wait $pid; cat /run/kiv.out')
        result = self.box.sh(script, KIVCONFIG, *JOIN, "-p", DEFAULT_PASSWORD, "-S",
                             "127.0.0.1:%d" % server.ldap_port, "-y", PROXY, "-d",
                             PROXY_PASSWORD, real_sleep=True, timeout=60)
        shown, output = result.stdout.split("\n", 1)
        self.assertIn("Waiting for LDAP server", output)
        self.assertIn(" -y %s -d " % PROXY, shown)
        self.assertNotRegex(shown, "%s|%s" % (DEFAULT_PASSWORD, PROXY_PASSWORD))

    def test_passwords_from_the_environment_stay_out_of_the_daemon_environment(self):
        result = self.box.sh('"$@"; s=$?; tr "\\0" "\\n" < /proc/$(cat '
                             '/var/run/velmar-pelk/kivcd.pid)/environ; exit $s', KIVCONFIG, *JOIN,
                             "-S", "127.0.0.1:%d" % self.server.ldap_port, "-y", PROXY,
                             env=dict(ADMIN_PWD, PELK_PROXY_PWD=PROXY_PASSWORD, KIV_MARK="kept"))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual([line for line in result.stdout.splitlines()
                          if line.startswith(("PELK_", "KIV_MARK="))], ["KIV_MARK=kept"])
        self.assertIn(("proxy-user-pwd", PROXY_PASSWORD), self.store())

    def test_answers_piped_one_per_line(self):
        rows = [  # answers, status, what it prints last
            ("o=corp\nou=ws,o=corp\n\n", REPORTED,
             "An empty password is not accepted: give the admin's password\n"),
            ("o=corp\nou=ws,o=corp\n%s\n" % DEFAULT_PASSWORD, 0, "Configure done successfully.\n"),
        ]
        for answers, status, last in rows:
            with self.subTest(status=status):
                binds = self.server.log_text().count(" bind ")
                result = self.kiv("add", "-a", DEFAULT_ADMIN, "-S", "127.0.0.1:%d" %
                                  self.server.ldap_port, input=answers, env={"PELK_PWD": None})
                self.assertEnds(result, status, last)
                self.assertEqual(self.server.log_text().count(" bind ") > binds, status == 0)
        self.assertIn(("base-name", "o=corp"), self.store())

    def test_the_last_hosts_of_a_context_leave_at_once(self):
        barrier = os.path.join(self.tmp, "go")
        # Each host waits in its sandbox until all are ready, then runs rm.
        script = ('touch "$1.$2"; n=0; while [ ! -e "$1" ] && [ $n -lt 1200 ]; do n=$((n+1)); '
                  'sleep 0.05; done; exec "$3" rm')
        with concurrent.futures.ThreadPoolExecutor(20) as pool:
            for count, rounds in [(2, 10), (5, 10), (20, 1)]:
                boxes = [Sandbox(os.path.join(self.tmp, "%d-%d" % (count, i)), "host%d" % i)
                         for i in range(count)]
                for done in range(rounds):
                    with self.subTest(hosts=count, round=done):
                        for box in boxes:
                            self.join(box)
                        ready = ["%s.%d" % (barrier, i) for i in range(count)]
                        removals = [pool.submit(box.sh, script, barrier, i, KIVCONFIG,
                                                env=ADMIN_PWD) for i, box in enumerate(boxes)]
                        while not all(map(os.path.exists, ready)) and not any(
                                removal.done() for removal in removals):
                            time.sleep(0.02)
                        open(barrier, "w").close()
                        results = [removal.result() for removal in removals]
                        for path in ready + [barrier]:
                            os.remove(path)
                        self.assertEqual([r.returncode for r in results], [0] * count,
                                         [r.stdout + r.stderr for r in results])
                        self.assertEqual(self.host_objects(), [])

    def test_rm_with_the_longest_name_or_a_read_only_etc(self):
        rows = [  # host name, sandbox options, status, what rm prints last
            (LONGEST_NAME, {}, 0, "Deconfigure done successfully.\n"),
            ("kivhost", {"readonly_etc": True}, REPORTED,
             "Unable to remove /etc/kiv.conf: Read-only file system\n"),
        ]
        for name, options, status, last in rows:
            with self.subTest(name):
                box = Sandbox(os.path.join(self.tmp, name), name)
                self.join(box)
                self.assertIn("dn: cn=UNIX Workstation - %s,ou=ws,o=corp" % name,
                              self.host_objects())
                self.assertEnds(box.kiv("rm", env=ADMIN_PWD, **options), status, last)
                self.assertEqual(self.host_objects(), [])
