"""The store and certificate under concurrent, killed writers and a bad /etc."""

import os
import random
import subprocess
import tempfile
import time
import unittest

from kivtest import BUILD, INIT_LOG, KIVCONFIG, REPORTED, STORE, SandboxTest

FILE_WRITER = os.environ.get("FILE_WRITER") or os.path.join(BUILD, "tests/tools/file-writer")
BODY = b"".join(b"# line %06d of a long file that takes a while to write\n" % i
                for i in range(20000))


class Writers(SandboxTest):
    def test_eight_sets_at_once_all_land(self):
        self.assertEqual(self.kiv("simple_add", "-r", "o=corp", "-S", "h").returncode, 0)
        words = ["num-threads=7", "user-hash-size=13", "group-hash-size=17", "cache-only=yes",
                 "persistent-cache-refresh-period=600", "persistent-search=no",
                 "case-sensitive=yes", "create-home=no"]
        result = self.box.sh('k=$1; shift; for w; do "$k" set "$w" & p="$p $!"; done; s=0; '
                             'for i in $p; do wait $i || s=1; done; exit $s', KIVCONFIG, *words)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertLessEqual({tuple(word.split("=")) for word in words + ["preferred-server=h"]},
                             set(self.store()))

    def test_a_full_or_read_only_etc_keeps_the_old_store(self):
        self.assertEqual(self.kiv("simple_add", "-r", "o=corp", "-S", "old").returncode, 0)
        before = self.box.read(STORE)
        rows = [  # sandbox options, the system's reason
            ({"etc_size_kb": 256}, "No space left on device"),
            ({"readonly_etc": True}, "Read-only file system"),
        ]
        for options, reason in rows:
            with self.subTest(reason):
                self.box.sh(": > " + INIT_LOG)
                result = self.box.sh('dd if=/dev/zero of=/etc/filler bs=1k 2>/dev/null; '
                                     'exec "$1" set preferred-server=new', KIVCONFIG, **options)
                self.assertEqual((result.returncode, result.stdout), (
                    REPORTED, "Unable to save %s: %s\n" % (STORE, reason)))
                self.assertEqual((self.box.read(STORE), self.box.read(INIT_LOG)), (before, ""))
                self.assertEqual(self.box.sh("rm -f /etc/filler; ls /etc | grep kiv").stdout,
                                 "kiv.conf\nkiv.conf.lock\n")


class KilledWriters(unittest.TestCase):
    """kill -9 mid-write leaves the old or new file; the next write clears up."""

    def crash_rounds(self, path, writer_args, content, companions=()):
        directory, name = os.path.split(path)
        os.mkdir(directory)
        with open(path, "wb") as f:
            f.write(content(0))
        span = 0
        for done in (1, 2, 3):  # how long a whole write takes
            began = time.monotonic()
            subprocess.run([FILE_WRITER, *writer_args(done)], check=True)
            span = max(span, time.monotonic() - began)
        rng, interrupted = random.Random(20), 0
        for n in range(done + 1, done + 101):
            writer = subprocess.Popen([FILE_WRITER, *writer_args(n)])
            time.sleep(rng.uniform(0, span))
            writer.kill()
            writer.wait()
            with open(path, "rb") as f:
                now = f.read()
            self.assertIn(now, (content(done), content(n)), "round %d: torn file" % n)
            done = n if now == content(n) else done
            left = set(os.listdir(directory)) - {name, *companions}
            self.assertLessEqual(left, set() if writer.returncode == 0 else {name + ".tmp"})
            interrupted += len(left)
        subprocess.run([FILE_WRITER, *writer_args(done + 1)], check=True)
        self.assertEqual(set(os.listdir(directory)), {name, *companions})
        # Else no kill came between the temporary file and the rename.
        self.assertGreater(interrupted, 0)

    def test_store_saves_and_certificate_writes(self):
        with tempfile.TemporaryDirectory() as tmp:
            store, certificate, source = (os.path.join(tmp, name) for name in (
                "store/kiv.conf", "certificate/.s.der", "source"))
            self.crash_rounds(store, lambda n: ["store", store, "crash-round", str(n)],
                              lambda n: BODY + b"crash-round=%d\n" % n, ["kiv.conf.lock"])

            def replace(n):
                with open(source, "wb") as f:
                    f.write(b"%d\n" % n + BODY)
                return ["replace", certificate, source]

            self.crash_rounds(certificate, replace, lambda n: b"%d\n" % n + BODY)
