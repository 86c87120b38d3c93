#!/usr/bin/env python3
"""A time-stamping authority for tests: RFC 3161 requests over HTTP on
127.0.0.1, answered by `openssl ts -reply`.

  tsa.py DIR [MODE]
      Makes DIR/ca.pem (the authority's root, to verify timestamps with) and
      a time-stamping certificate signed by it, then serves until killed.
      The port is written to DIR/port once the server listens; every request
      is counted in DIR/requests. MODE, for the failures a signing run must
      survive: "stall" (takes every request and never answers), "garbage"
      (answers with bytes that are no timestamp), or a number N (answers N
      requests, then fails every later one with HTTP 500).
"""
import http.server
import os
import subprocess
import sys
import tempfile
import time

CONFIG = """\
[ tsa ]
default_tsa = tsa1
[ tsa1 ]
serial = {dir}/serial
crypto_device = builtin
signer_cert = {dir}/tsa.pem
certs = {dir}/ca.pem
signer_key = {dir}/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.99999.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_chain = no
ess_cert_id_alg = sha256
"""


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def make_authority(folder):
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
            "-days", "3650", "-subj", "/CN=GNLauncher test timestamp CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "tsa.key", "-out", "tsa.csr",
            "-subj", "/CN=GNLauncher test timestamp authority", cwd=folder)
    with open(os.path.join(folder, "ext.cnf"), "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                "extendedKeyUsage=critical,timeStamping\n")
    openssl("x509", "-req", "-in", "tsa.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-out", "tsa.pem", "-days", "3650", "-extfile", "ext.cnf",
            cwd=folder)
    with open(os.path.join(folder, "serial"), "w") as f:
        f.write("01\n")
    with open(os.path.join(folder, "tsa.cnf"), "w") as f:
        f.write(CONFIG.format(dir=folder))


class Handler(http.server.BaseHTTPRequestHandler):
    folder = ""
    mode = ""
    answered = 0

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        if length <= 0 or length > 65536:
            self.send_error(400)
            return
        query = self.rfile.read(length)
        with open(os.path.join(self.folder, "requests"), "a") as f:
            f.write("1\n")
        if self.mode == "stall":
            time.sleep(3600)
        if self.mode.isdigit() and Handler.answered >= int(self.mode):
            self.send_error(500)
            return
        Handler.answered += 1
        if self.mode == "garbage":
            self.reply(b"\x30\x82\x01\x00" + os.urandom(256))
            return
        with tempfile.TemporaryDirectory(dir=self.folder) as work:
            with open(os.path.join(work, "q.tsq"), "wb") as f:
                f.write(query)
            answer = subprocess.run(
                ["openssl", "ts", "-reply", "-config", os.path.join(self.folder, "tsa.cnf"),
                 "-queryfile", "q.tsq", "-out", "r.tsr"], cwd=work,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if answer.returncode != 0:
                self.send_error(400)
                return
            with open(os.path.join(work, "r.tsr"), "rb") as f:
                self.reply(f.read())

    def reply(self, reply):
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    """A thread a request: a stalled one holds only itself. A client that
    hangs up early is no error of the authority."""
    handle_error = lambda *args: None  # noqa: E731


def main(folder, mode=""):
    folder = os.path.abspath(folder)
    os.makedirs(folder, exist_ok=True)
    make_authority(folder)
    Handler.folder, Handler.mode = folder, mode
    server = Server(("127.0.0.1", 0), Handler)
    with open(os.path.join(folder, "port.tmp"), "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(os.path.join(folder, "port.tmp"), os.path.join(folder, "port"))
    server.serve_forever()


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    main(*sys.argv[1:])
