#!/usr/bin/env python3
"""Loopback document server for demos and tests.

Serves the files of one folder on 127.0.0.1 with the QuorQuery content types:

    tools/docserver.py [--root DIR] [--port N] [--log FILE]
                       [--max-requests N | --once] [--timeout SECONDS]
                       [--tls CERT KEY] [--cookie TEXT]
                       [--stall-every N [--stall-seconds S]]

The first line on stdout is "PORT <n>" (the port actually bound; 0 asks for a
free one). GET and HEAD are answered; a missing file, a folder or a path that
leaves the root answers 404. The server stops cleanly on SIGTERM or SIGINT,
after --max-requests requests, or after --timeout seconds (default 600, 0 for
no limit). --log appends one line per request: method, path, status, bytes.
--tls serves HTTPS with the certificate chain CERT (PEM, server first) and its
key KEY; a client that refuses the certificate ends only its own connection.
--cookie sends TEXT as a Set-Cookie header with every document.
--stall-every N holds every Nth connection (the Nth, the 2Nth, ...) silent
once it is accepted (no TLS handshake, no answer) for --stall-seconds
(default 8) before it is closed; the others are served.
Every answer says "Cache-Control: no-store"; a query "cache=VALUE" sends
"Cache-Control: VALUE" instead and "pragma=VALUE" adds "Pragma: VALUE" (for
the caching headers a server may send with a document). For framing as odd
servers send it: "coding=VALUE" sends "Transfer-Encoding: VALUE" and the body
in chunks (gzip-compressed first when VALUE names gzip), "length=VALUE" sends
"Content-Length: VALUE" whatever the body.
"""

import argparse
import gzip
import http.server
import os
import signal
import ssl
import sys
import time
import urllib.parse

# The document types' extensions and MIME types are those of
# resources/document_types.h (a registration test compares them).
CONTENT_TYPES = {
    ".dzy": "application/x-quorquery",
    ".dz3": "application/x-quorquery",
    ".rvs": "application/x-quorquery",
    ".dzd": "application/x-quorquerydata",
    ".txt": "text/plain; charset=utf-8",
    ".html": "text/html; charset=utf-8",
}
DEFAULT_TYPE = "application/octet-stream"
HOST = "127.0.0.1"


def resolve(root, url_path):
    """The file under root that url_path names, or None."""
    path = urllib.parse.unquote(urllib.parse.urlsplit(url_path).path)
    if "\0" in path:
        return None
    full = os.path.realpath(os.path.join(root, path.lstrip("/")))
    if os.path.commonpath([root, full]) != root or not os.path.isfile(full):
        return None
    return full


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "GNDocServer/1"
    timeout = 10  # a client that connects and says nothing is dropped

    def do_GET(self):
        self.answer(with_body=True)

    def do_HEAD(self):
        self.answer(with_body=False)

    def answer(self, with_body):
        full = resolve(self.server.root, self.path)
        body = b""
        if full is not None:
            try:
                with open(full, "rb") as f:
                    body = f.read()
            except OSError:
                full = None
        if full is None:
            body = b"Not Found\n"
            self.send_response(404)
            self.send_header("Content-Type", "text/plain; charset=utf-8")
        else:
            self.send_response(200)
            ext = os.path.splitext(full)[1].lower()
            self.send_header("Content-Type", CONTENT_TYPES.get(ext, DEFAULT_TYPE))
            if self.server.cookie:
                self.send_header("Set-Cookie", self.server.cookie)
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)
        coding = query.get("coding", [None])[0]
        if coding is not None:
            self.send_header("Transfer-Encoding", coding)
            if "gzip" in coding.lower():
                body = gzip.compress(body)
            body = b"".join(b"%x\r\n%s\r\n" % (len(body[i:i + 4096]), body[i:i + 4096])
                            for i in range(0, len(body), 4096)) + b"0\r\n\r\n"
        if "length" in query:
            self.send_header("Content-Length", query["length"][0])
        elif coding is None:
            self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", query.get("cache", ["no-store"])[0])
        if "pragma" in query:
            self.send_header("Pragma", query["pragma"][0])
        if coding is not None:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if with_body:
            self.wfile.write(body)
        self.server.note(self.command, self.path, 404 if full is None else 200,
                         len(body) if with_body else 0)

    def log_message(self, fmt, *args):  # the request log is ours, not stderr's
        pass


class Server(http.server.HTTPServer):
    allow_reuse_address = False

    def __init__(self, port, root, log_path, tls=None, cookie=None, stall_every=None,
                 stall_seconds=8.0):
        super().__init__((HOST, port), Handler)
        self.stall_every = stall_every
        self.stall_seconds = stall_seconds
        self.accepted = 0
        self.stalled = []  # (socket, when it is let go)
        self.root = root
        self.log_path = log_path
        self.requests = 0
        self.cookie = cookie
        self.tls = None
        if tls:
            self.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self.tls.load_cert_chain(tls[0], tls[1])

    def get_request(self):
        # The handshake is bounded, so that a client that stops in the middle
        # holds up nobody; a refused certificate fails this connection only.
        sock, address = self.socket.accept()
        self.accepted += 1
        if self.stall_every and self.accepted % self.stall_every == 0:
            self.stalled.append((sock, time.monotonic() + self.stall_seconds))
            self.note("STALL", "-", 0, 0, "connection %d held" % self.accepted)
            raise OSError("held")
        if self.tls is None:
            return sock, address
        sock.settimeout(Handler.timeout)
        try:
            return self.tls.wrap_socket(sock, server_side=True), address
        except (OSError, ssl.SSLError) as e:
            sock.close()
            self.note("TLS", "-", 0, 0, str(e).replace("\n", " "))
            raise OSError("handshake failed") from e

    def let_go_of_stalled(self, everything=False):
        now = time.monotonic()
        for entry in [e for e in self.stalled if everything or e[1] <= now]:
            self.stalled.remove(entry)
            entry[0].close()

    def note(self, method, path, status, size, detail=""):
        self.requests += 1
        if self.log_path:
            with open(self.log_path, "a", encoding="utf-8") as log:
                log.write("%s %s %d %d%s\n" % (method, path, status, size,
                                                 " " + detail if detail else ""))


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Loopback QuorQuery document server")
    parser.add_argument("--root", default=os.path.join(here, "..", "samples"))
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--log")
    parser.add_argument("--max-requests", type=int, default=0)
    parser.add_argument("--once", action="store_true", help="same as --max-requests 1")
    parser.add_argument("--timeout", type=float, default=600.0)
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--cookie")
    parser.add_argument("--stall-every", type=int)
    parser.add_argument("--stall-seconds", type=float, default=8.0)
    args = parser.parse_args(argv)
    if args.once:
        args.max_requests = 1
    root = os.path.realpath(args.root)
    if not os.path.isdir(root):
        print("docserver: no folder %s" % root, file=sys.stderr)
        return 2

    try:
        server = Server(args.port, root, args.log, args.tls, args.cookie, args.stall_every,
                        args.stall_seconds)
    except ssl.SSLError as e:
        print("docserver: cannot use the certificate: %s" % e, file=sys.stderr)
        return 2
    except OSError as e:
        print("docserver: cannot listen on %s:%d: %s" % (HOST, args.port, e), file=sys.stderr)
        return 2
    stop = []
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.append(True))
    print("PORT %d" % server.server_address[1], flush=True)

    deadline = time.monotonic() + args.timeout if args.timeout > 0 else None
    server.timeout = 0.2
    try:
        while not stop:
            if args.max_requests and server.requests >= args.max_requests:
                break
            if deadline is not None and time.monotonic() >= deadline:
                break
            server.handle_request()
            server.let_go_of_stalled()
    finally:
        server.let_go_of_stalled(everything=True)
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
