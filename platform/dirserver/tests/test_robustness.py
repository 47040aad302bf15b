"""Malformed, truncated and oversized PDUs end only their own connection."""

import contextlib
import functools
import pathlib
import socket
import ssl
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[3] / "tests" / "lib"))

from ombrel import OmbrelServer  # noqa: E402


def tlv(tag, content):
    n = len(content)
    return bytes([tag]) + (bytes([n]) if n < 0x80 else b"\x82" + n.to_bytes(2, "big")) + content


def message(msgid, op):
    return tlv(0x30, tlv(0x02, bytes([msgid])) + op)


BIND = message(1, tlv(0x60, tlv(0x02, b"\x03") + tlv(0x04, b"") + tlv(0x80, b"")))  # anonymous
DEEP_FILTER = functools.reduce(lambda inner, _: tlv(0xA2, inner), range(200), tlv(0x87, b"cn"))
DEEP_SEARCH = message(2, tlv(0x63, tlv(0x04, b"o=corp") + tlv(0x0A, b"\x02") + tlv(0x0A, b"\x00")
                             + tlv(0x02, b"\x00") * 2 + tlv(0x01, b"\x00") + DEEP_FILTER
                             + tlv(0x30, b"")))
BAD_INPUTS = {
    "garbage": b"\xff\xfe\xfd\xfc" * 16,
    "indefinite length": b"\x30\x80" + BIND[2:] + b"\x00\x00",
    "oversized length": b"\x30\x84\x7f\xff\xff\xff" + b"\x00" * 32,
    "bad inner length": b"\x30\x06\x02\x01\x01\x60\x7f\x02",
    "unknown operation": message(3, tlv(0x7F, b"")),
    "filter nested too deep": DEEP_SEARCH,
    "truncated bind, then hang-up": BIND[:5],
}


class RobustnessTest(unittest.TestCase):
    def test_bad_pdus_close_only_their_connection(self):
        with tempfile.TemporaryDirectory() as tmp, OmbrelServer(tmp) as server:
            bystander = socket.create_connection(("127.0.0.1", server.ldap_port), timeout=10)
            self.addCleanup(bystander.close)
            context = ssl.create_default_context(cafile=server.cert_pem_path)
            # (case, payload, TLS port, handshake first)
            cases = [(name, payload, tls, tls) for name, payload in BAD_INPUTS.items()
                     for tls in (False, True)]
            cases.append(("clear text where a handshake belongs", BIND, True, False))
            for name, payload, tls_port, handshake in cases:
                with self.subTest(name, tls=tls_port):
                    port = server.ldaps_port if tls_port else server.ldap_port
                    with socket.create_connection(("127.0.0.1", port), timeout=10) as raw:
                        sock = context.wrap_socket(raw, server_hostname="127.0.0.1") \
                            if handshake else raw
                        sock.sendall(payload)
                        with contextlib.suppress(ConnectionResetError):
                            while not name.endswith("hang-up") and sock.recv(4096):
                                pass
                    bystander.sendall(BIND)
                    reply = bystander.recv(4096)
                    self.assertEqual(reply[0], 0x30)
                    self.assertIn(b"\x61", reply)
                    self.assertIn(b"\x0a\x01\x00", reply)  # resultCode success


if __name__ == "__main__":
    unittest.main()
