"""Malformed, truncated and oversized PDUs end only their own connection."""

import pathlib
import socket
import ssl
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[3] / "tests" / "lib"))

from ldaptools import search  # noqa: E402
from ombrel import OmbrelServer  # noqa: E402


def tlv(tag, content):
    n = len(content)
    if n < 0x80:
        length = bytes([n])
    else:
        raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
        length = bytes([0x80 | len(raw)]) + raw
    return bytes([tag]) + length + content


def message(msgid, op):
    return tlv(0x30, tlv(0x02, bytes([msgid])) + op)


ANONYMOUS_BIND = message(1, tlv(0x60, tlv(0x02, b"\x03") + tlv(0x04, b"") + tlv(0x80, b"")))


def nested_not_filter(depth):
    inner = tlv(0x87, b"cn")
    for _ in range(depth):
        inner = tlv(0xA2, inner)
    return inner


def search_with_filter(filter_bytes):
    body = (tlv(0x04, b"o=corp") + tlv(0x0A, b"\x02") + tlv(0x0A, b"\x00") + tlv(0x02, b"\x00")
            + tlv(0x02, b"\x00") + tlv(0x01, b"\x00") + filter_bytes + tlv(0x30, b""))
    return message(2, tlv(0x63, body))


BAD_INPUTS = {
    "garbage": b"\xff\xfe\xfd\xfc" * 16,
    "wrong outer tag": b"\x04\x03abc",
    "indefinite length": b"\x30\x80" + ANONYMOUS_BIND[2:] + b"\x00\x00",
    "oversized length": b"\x30\x84\x7f\xff\xff\xff" + b"\x00" * 32,
    "bad inner length": b"\x30\x06\x02\x01\x01\x60\x7f\x02",
    "unknown operation": message(3, tlv(0x7F, b"")),
    "bind without version": message(4, tlv(0x60, tlv(0x04, b""))),
    "filter nested too deep": search_with_filter(nested_not_filter(200)),
    "bad filter tag": search_with_filter(tlv(0xBF, b"")),
    "substring parts out of order": search_with_filter(
        tlv(0xA4, tlv(0x04, b"cn") + tlv(0x30, tlv(0x82, b"z") + tlv(0x80, b"a")))),
}


class RobustnessTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.server = OmbrelServer(cls.tmp.name).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        cls.tmp.cleanup()

    def connect(self):
        sock = socket.create_connection(("127.0.0.1", self.server.ldap_port), timeout=10)
        self.addCleanup(sock.close)
        return sock

    def assert_bind_works(self, sock):
        sock.sendall(ANONYMOUS_BIND)
        reply = sock.recv(4096)
        self.assertEqual(reply[0], 0x30)
        self.assertIn(b"\x61", reply)
        self.assertIn(b"\x0a\x01\x00", reply)  # resultCode success

    def assert_closed(self, sock):
        sock.settimeout(10)
        data = b""
        try:
            while True:
                chunk = sock.recv(4096)
                if not chunk:
                    break
                data += chunk
        except ConnectionResetError:
            pass
        return data

    def test_bad_pdus_close_only_their_connection(self):
        bystander = self.connect()
        self.assert_bind_works(bystander)
        for name, payload in BAD_INPUTS.items():
            with self.subTest(name):
                sock = self.connect()
                sock.sendall(payload)
                self.assert_closed(sock)
                self.assert_bind_works(bystander)
        rc, out, _ = search(self.server, "o=corp", "-s", "base", "objectclass=*", "dn")
        self.assertEqual((rc, out.strip()), (0, "dn: o=corp"))

    def test_truncated_pdu_then_hangup(self):
        bystander = self.connect()
        for cut in (1, 2, 5, len(ANONYMOUS_BIND) - 1):
            sock = self.connect()
            sock.sendall(ANONYMOUS_BIND[:cut])
            sock.close()
        self.assert_bind_works(bystander)

    def test_garbage_on_the_tls_port(self):
        sock = socket.create_connection(("127.0.0.1", self.server.ldaps_port), timeout=10)
        self.addCleanup(sock.close)
        sock.sendall(ANONYMOUS_BIND)  # clear text where a handshake belongs
        self.assert_closed(sock)
        context = ssl.create_default_context(cafile=self.server.cert_pem_path)
        with socket.create_connection(("127.0.0.1", self.server.ldaps_port), timeout=10) as raw:
            with context.wrap_socket(raw, server_hostname="127.0.0.1") as tls:
                tls.sendall(b"\x30\x84\x7f\xff\xff\xff")
                self.assertEqual(self.assert_closed(tls), b"")
        rc, _, _ = search(self.server, "o=corp", "-s", "base", "objectclass=*", tls=True)
        self.assertEqual(rc, 0)


if __name__ == "__main__":
    unittest.main()
