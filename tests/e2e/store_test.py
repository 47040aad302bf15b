"""The configuration store under concurrent writers, with odd files at its
path, and writers killed in the middle of a write."""

import os
import random
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))

from kivtest import ALREADY_REPORTED_STATUS, BUILD, STORE, SandboxTest  # noqa: E402
from sandbox import KIVCONFIG  # noqa: E402

FILE_WRITER = os.environ.get("FILE_WRITER") or os.path.join(BUILD, "tests", "tools",
                                                            "file-writer")


class Writers(SandboxTest):
    def test_eight_sets_at_once_all_land(self):
        self.assertEqual(self.kiv("simple_add", "-r", "o=corp", "-S", "h").returncode, 0)
        words = ["num-threads=7", "user-hash-size=13", "group-hash-size=17",
                 "persistent-cache-refresh-period=600", "cache-only=yes", "persistent-search=no",
                 "case-sensitive=yes", "create-home=no"]
        script = ('k=$1; shift; for w; do "$k" set "$w" & p="$p $!"; done; '
                  's=0; for i in $p; do wait $i || s=1; done; exit $s')
        result = self.box.run(["bash", "-c", script, "sh", KIVCONFIG, *words])
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        store = self.store()
        for word in words:
            self.assertIn(tuple(word.split("=")), store)
        self.assertIn(("preferred-server", "h"), store)

    def test_saved_store_is_a_regular_file_owned_only_after_a_regular_file(self):
        # How /etc/kiv.conf is made before a set; what it is afterwards; what
        # a link's target is afterwards.
        cases = [
            ("printf 'num-threads=3\\n' > /etc/kiv-target.conf && "
             "chown nobody /etc/kiv-target.conf && chmod 644 /etc/kiv-target.conf && "
             "ln -s /etc/kiv-target.conf /etc/kiv.conf", "regular file root 600",
             "regular file nobody 644 num-threads=3"),
            ("printf 'num-threads=3\\n' > /etc/kiv.conf && chown nobody /etc/kiv.conf && "
             "chmod 640 /etc/kiv.conf", "regular file nobody 600", ""),
            ("printf 'num-threads=3\\n' > /etc/kiv.conf && chmod 400 /etc/kiv.conf",
             "regular file root 400", ""),
        ]
        target = 'test ! -e "$0" || echo "$(stat -c "%F %U %a" "$0") $(cat "$0")"'
        for make, expected, expected_target in cases:
            with self.subTest(make=make):
                made = self.box.run(["sh", "-c", "rm -f /etc/kiv.conf /etc/kiv-target.conf && "
                                     + make])
                if made.returncode != 0:
                    self.skipTest("files of nobody cannot be made here: " + made.stderr)
                result = self.kiv("set", "cache-only=yes")
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                shown = self.box.run(["stat", "-c", "%F %U %a", STORE]).stdout
                self.assertEqual(shown, expected + "\n")
                self.assertEqual(self.store(), [("num-threads", "3"), ("cache-only", "yes")])
                shown = self.box.run(["sh", "-c", target, "/etc/kiv-target.conf"]).stdout
                self.assertEqual(shown.strip(), expected_target)

    def test_store_path_that_is_not_a_regular_file(self):
        kinds = [("mkdir", "directory", "Is a directory"),
                 ("mkfifo", "fifo", "not a regular file"),
                 ("ln -s /dev/zero", "symbolic link", "not a regular file")]
        commands = [(["simple_add", "-r", "o=corp", "-S", "h"], "Unable to save"),
                    (["get"], "Cannot read"), (["set", "num-threads=7"], "Cannot read")]
        for make, kind, reason in kinds:
            for words, failure in commands:
                with self.subTest(kind=kind, words=words):
                    self.box.run(["sh", "-c", "rm -rf /etc/kiv.conf && %s /etc/kiv.conf" % make])
                    result = self.kiv(*words, timeout=30)
                    self.assertEqual(result.returncode, ALREADY_REPORTED_STATUS)
                    self.assertIn("%s /etc/kiv.conf: %s\n" % (failure, reason),
                                  result.stdout + result.stderr)
                    shown = self.box.run(["sh", "-c", "stat -c %F /etc/kiv.conf; ls /etc"]).stdout
                    self.assertTrue(shown.startswith(kind + "\n"), shown)
                    self.assertNotIn("kiv.conf.tmp", shown)
                    self.assertEqual(self.box.init_calls(), [])


class KilledWriters(unittest.TestCase):
    """kill -9 at random moments of 200 writes: the file is always whole, the
    old or the new content, and the temporary file that a killed writer
    leaves is gone after the next write."""

    ROUNDS = 200
    BODY = b"".join(b"# line %06d of a long file that takes a while to write\n" % i
                    for i in range(40000))

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="kiv-crash.")
        self.addCleanup(self.tmp.cleanup)
        self.dir = os.path.join(self.tmp.name, "files")
        os.mkdir(self.dir)

    def crash_rounds(self, name, start_writer, content, companions):
        """start_writer(n) starts a process that makes the file hold content(n);
        companions are the names that may stay beside it."""
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(content(0))

        def read():
            with open(path, "rb") as f:
                return f.read()

        # A few whole writes tell how long one takes.
        span = 0
        for done in (1, 2, 3):
            began = time.monotonic()
            self.assertEqual(start_writer(done).wait(), 0)
            span = max(span, time.monotonic() - began)
        self.assertEqual(read(), content(done))
        rng = random.Random(20)
        interrupted = 0
        for n in range(done + 1, done + 1 + self.ROUNDS):
            writer = start_writer(n)
            time.sleep(rng.uniform(0, span))
            writer.kill()
            writer.wait()
            now = read()
            self.assertTrue(now in (content(done), content(n)), "round %d: torn file" % n)
            done = n if now == content(n) else done
            left = set(os.listdir(self.dir)) - {name} - companions
            if writer.returncode == 0:
                self.assertEqual(left, set(), "round %d" % n)
            else:
                self.assertLessEqual(left, {name + ".tmp"}, "round %d" % n)
                interrupted += len(left)
        self.assertEqual(start_writer(done + 1).wait(), 0)
        self.assertEqual(read(), content(done + 1))
        self.assertEqual(set(os.listdir(self.dir)), {name} | companions)
        # Else no kill came between the creation of the temporary file and the
        # rename, and the rounds proved little.
        self.assertGreater(interrupted, 0)

    def test_store_saves(self):
        path = os.path.join(self.dir, "kiv.conf")
        self.crash_rounds(
            "kiv.conf",
            lambda n: subprocess.Popen([FILE_WRITER, "store", path, "crash-round", str(n)]),
            lambda n: self.BODY + b"crash-round=%d\n" % n, {"kiv.conf.lock"})

    def test_certificate_writes(self):
        path = os.path.join(self.dir, ".server.der")
        source = os.path.join(self.tmp.name, "source")

        def content(n):
            return b"%d\n" % n + self.BODY

        def start_writer(n):
            with open(source, "wb") as f:
                f.write(content(n))
            return subprocess.Popen([FILE_WRITER, "replace", path, source])

        self.crash_rounds(".server.der", start_writer, content, set())


if __name__ == "__main__":
    unittest.main()
