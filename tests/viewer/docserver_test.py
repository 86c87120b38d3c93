#!/usr/bin/env python3
"""The loopback document server: types, 404s, escapes, request log, clean exits."""

import http.client
import os
import signal
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "..", "tools", "docserver.py")


class DocServer:
    def __init__(self, root, *extra):
        self.proc = subprocess.Popen([sys.executable, SERVER, "--root", root, "--timeout", "60", *extra],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        first = self.proc.stdout.readline().split()
        assert first[0] == "PORT", first
        self.port = int(first[1])

    def request(self, method, path):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            conn.request(method, path)
            r = conn.getresponse()
            return r.status, r.getheader("Content-Type"), r.read()
        finally:
            conn.close()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        rc = self.proc.wait(timeout=10)
        self.proc.stdout.close()
        self.proc.stderr.close()
        return rc


class DocServerTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = os.path.join(self.dir.name, "root")
        os.mkdir(self.root)
        os.mkdir(os.path.join(self.root, "sub"))
        for name, data in (("a.dzy", b"QUORQUERY 1\n"), ("b.dzd", b"data"), ("c.rvs", b"r"),
                           ("d.DZ3", b"3"), ("e.bin", b"\0\1"), ("sub/f.dzy", b"f")):
            with open(os.path.join(self.root, name), "wb") as f:
                f.write(data)
        with open(os.path.join(self.dir.name, "secret.dzy"), "wb") as f:
            f.write(b"outside")
        self.log = os.path.join(self.dir.name, "requests.log")

    def tearDown(self):
        self.dir.cleanup()

    def test_types_bodies_and_not_found(self):
        s = DocServer(self.root, "--log", self.log)
        try:
            self.assertEqual((200, "application/x-quorquery", b"QUORQUERY 1\n"), s.request("GET", "/a.dzy"))
            self.assertEqual((200, "application/x-quorquerydata", b"data"), s.request("GET", "/b.dzd"))
            self.assertEqual("application/x-quorquery", s.request("GET", "/c.rvs")[1])
            self.assertEqual("application/x-quorquery", s.request("GET", "/d.DZ3")[1])
            self.assertEqual("application/octet-stream", s.request("GET", "/e.bin")[1])
            self.assertEqual((200, "application/x-quorquery", b""), s.request("HEAD", "/a.dzy"))
            self.assertEqual(200, s.request("GET", "/sub/f.dzy?x=1")[0])
            for path in ("/missing.dzy", "/sub", "/", "/../secret.dzy", "/%2e%2e/secret.dzy",
                         "/sub/../../secret.dzy", "/a.dzy%00.txt", "//etc/passwd"):
                self.assertEqual(404, s.request("GET", path)[0], path)
        finally:
            self.assertEqual(0, s.stop())
        with open(self.log) as f:
            lines = f.read().splitlines()
        self.assertEqual("GET /a.dzy 200 12", lines[0])
        self.assertIn("HEAD /a.dzy 200 0", lines)
        self.assertIn("GET /missing.dzy 404 10", lines)

    def test_once_serves_one_request_and_exits(self):
        s = DocServer(self.root, "--once")
        self.assertEqual(200, s.request("GET", "/a.dzy")[0])
        self.assertEqual(0, s.proc.wait(timeout=10))
        s.stop()

    def test_interrupt_and_time_limit_end_it_cleanly(self):
        s = DocServer(self.root)
        s.proc.send_signal(signal.SIGINT)
        self.assertEqual(0, s.stop())
        quick = subprocess.run([sys.executable, SERVER, "--root", self.root, "--timeout", "0.5"],
                               capture_output=True, text=True, timeout=20)
        self.assertEqual(0, quick.returncode)
        self.assertRegex(quick.stdout, r"^PORT \d+\n$")

    def test_bad_root_or_busy_port_fail_with_a_message(self):
        r = subprocess.run([sys.executable, SERVER, "--root", os.path.join(self.root, "none")],
                           capture_output=True, text=True, timeout=20)
        self.assertEqual(2, r.returncode)
        self.assertIn("no folder", r.stderr)
        s = DocServer(self.root)
        try:
            r = subprocess.run([sys.executable, SERVER, "--root", self.root, "--port", str(s.port)],
                               capture_output=True, text=True, timeout=20)
            self.assertEqual(2, r.returncode)
            self.assertIn("cannot listen", r.stderr)
        finally:
            s.stop()


if __name__ == "__main__":
    unittest.main()
