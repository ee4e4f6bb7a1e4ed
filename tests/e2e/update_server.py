#!/usr/bin/env python3
"""Loopback HTTP server of the database update tests.

Serves ROOT/<case>/<path> for GET and HEAD on 127.0.0.1 only, on a port of its own choosing that
it writes to PORT_FILE. A few cases answer in a way no file can: "404" and "500" (an HTML error
page), "short" (a Content-Length the body falls short of), "nolength" (no Content-Length), "slow"
(a body trickled out), "redirect" (to the good case), "redirect-file" (to a file: address),
"endless" (a body without length or end) and "huge" (a Content-Length of 70,000,000).
Usage: update_server.py ROOT PORT_FILE [CERTIFICATE KEY]
"""
import http.server
import os
import ssl
import sys
import threading
import time

root, port_file = sys.argv[1], sys.argv[2]
# With a certificate and its key, the same cases are served over TLS too (port in PORT_FILE.tls),
# and "downgrade" redirects from there to the good case on the plain port.
tls = sys.argv[3:5] if len(sys.argv) >= 5 else None
ERROR_PAGE = b"<html><head><title>Error</title></head><body><h1>Error</h1>" + b"x" * 2000 + b"</body></html>"


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_HEAD(self):
        self.answer(body_wanted=False)

    def do_GET(self):
        self.answer(body_wanted=True)

    def send(self, status, body, body_wanted, length=None, headers=()):
        self.send_response(status)
        if length is not False:
            self.send_header("Content-Length", str(len(body) if length is None else length))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        if body_wanted:
            self.wfile.write(body)

    def answer(self, body_wanted):
        parts = self.path.lstrip("/").split("/", 1)
        case = parts[0]
        rest = parts[1] if len(parts) > 1 else ""
        if case in ("404", "500"):
            return self.send(int(case), ERROR_PAGE, body_wanted, headers=[("Content-Type", "text/html")])
        if case == "redirect":
            host = self.headers.get("Host", "127.0.0.1")
            return self.send(302, b"moved", body_wanted, headers=[("Location", "http://%s/good/%s" % (host, rest))])
        if case == "endless":
            # No Content-Length and no end: zeros until the client goes away.
            self.send_response(200)
            self.end_headers()
            if body_wanted:
                block = b"\0" * 65536
                try:
                    while True:
                        self.wfile.write(block)
                except OSError:
                    pass
            self.close_connection = True
            return
        if case == "huge":
            return self.send(200, b"x" * 1000, body_wanted, length=70000000)
        if case == "downgrade":
            return self.send(302, b"moved", body_wanted,
                             headers=[("Location", "http://127.0.0.1:%d/good/%s" % (plain.server_address[1], rest))])
        if case == "redirect-file":
            return self.send(302, b"moved", body_wanted, headers=[("Location", "file:///C:/windows/win.ini")])
        path = os.path.join(root, case, rest)
        if ".." in self.path or not os.path.isfile(path):
            return self.send(404, ERROR_PAGE, body_wanted)
        with open(path, "rb") as f:
            body = f.read()
        if case == "short" and not rest.endswith(".sig"):
            self.send(200, body[: len(body) - 1000], body_wanted, length=len(body))
            self.close_connection = True
            return
        if case == "nolength":
            return self.send(200, body, body_wanted, length=False)
        if case == "slow" and body_wanted and not rest.endswith(".sig"):
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            for start in range(0, len(body), 16384):
                self.wfile.write(body[start : start + 16384])
                self.wfile.flush()
                time.sleep(0.05)
            return
        return self.send(200, body, body_wanted)


def publish(path, port):
    with open(path + ".tmp", "w") as f:
        f.write(str(port))
    os.replace(path + ".tmp", path)


plain = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
if tls:
    secure = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(tls[0], tls[1])
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    threading.Thread(target=secure.serve_forever, daemon=True).start()
    publish(port_file + ".tls", secure.server_address[1])
publish(port_file, plain.server_address[1])
plain.serve_forever()
