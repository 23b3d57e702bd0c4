#!/usr/bin/env python3
"""A small HTTPS server for tests and benchmarks, on 127.0.0.1 only.

Usage:
  https_server.py [--plain] FILE DIR
      Serves FILE at every path, over TLS unless --plain. At start-up it makes
      a CA and a certificate for 127.0.0.1 and localhost with `openssl` into
      DIR (DIR/ca.pem is what clients put in SSL_CERT_FILE), binds a free
      port and, once it accepts connections, writes the port number to
      DIR/port. It exits when its parent does, or on SIGTERM.
  https_server.py --make-ca DIR
      Only makes a CA into DIR/ca.pem, one the server's certificate does not
      chain to, and exits.

Control: DIR/control.json, re-read for every request (replace it atomically,
e.g. write a temporary file and rename it). All keys are optional:
  "etag":          the ETag to send; null sends none. Default: derived from
                   FILE's modification time and size.
  "if_none_match": honour If-None-Match with 304 Not Modified (default true).
  "refuse_if_none_match": answer 400 to any request with If-None-Match, as
                   a server or proxy that takes it for malformed does.
  "status":        answer with this status (e.g. 404, 500) and an error page.
  "cut_after":     send only this many body bytes, then drop the connection.
  "cut_at":        drop the connection once the body reaches this offset of
                   the file (a range that starts beyond it is sent whole).
  "no_length":     send the body chunked, without Content-Length.
  "close_delimited": send the body without Content-Length or chunks, ended
                   by closing the connection (with a TLS close_notify,
                   unless it is cut).
  "content_encoding": "gzip" or "deflate": send the file so encoded, with
                   Content-Encoding, whole (ranges are ignored).
  "content_length": announce this Content-Length, whatever the body is.
  "endless":       follow the file with zeros until the client hangs up.
  "stall":         seconds to wait between the header and the body.
  "rate":          send the body at about this many bytes per second.
  "file":          serve this file instead of FILE.
  "retry_after":   the Retry-After value sent with "status".
  "reset":         reset the connection instead of answering.
  "ignore_ranges": answer every Range request with the whole body, and
                   announce no Accept-Ranges. Otherwise "Range: bytes=N-" or
                   "bytes=N-M" gets a 206 with Content-Range (416 beyond the
                   end) unless an If-Range names another ETag.
  "faults":        a list of controls, one per request: the n-th request
                   after the control file was replaced takes the n-th entry
                   over the other keys (later requests take none), e.g.
                   [{"cut_after": 1000}, {"status": 503, "retry_after": "2"},
                    {"etag": "\"v2\""}, {"reset": true}].
  "minisig":       the file to serve at any path ending in ".minisig" (the
                   archive's signature; "reset", "status" and "faults"
                   apply to it too); such paths answer 404 without it or
                   while the file is missing.

Special paths: /redirect?to=URL answers 302 to URL; /loop answers 302 to
itself.

Statistics: DIR/stats.json, rewritten atomically whenever a request starts or
ends: {"requests": started requests, "active": requests in progress,
"body_bytes": body bytes sent, "statuses": {"200": count, ...},
"request_times" and "request_ends": the time.time() of each request's start
and end, in the order they happened, "ranges": each
request's Range header or null, "connections": connections accepted, TLS
handshake or not, "minisig_requests": requests for a path ending in
".minisig"}.
"""

import argparse
import gzip
import io
import json
import os
import random
import re
import socket
import ssl
import subprocess
import struct
import sys
import threading
import time
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

BLOCK_SIZE = 256 * 1024

OPENSSL_CONFIG = """
[req]
distinguished_name = dn
prompt = no
[dn]
CN = placeholder
[ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1,DNS:localhost
authorityKeyIdentifier = keyid
"""

# What clients that hang up or reject the certificate cause; the tests do both.
CLIENT_ERRORS = (ConnectionError, ssl.SSLError, TimeoutError)


def openssl(directory, *args):
    config = os.path.join(directory, "openssl.cnf")
    with open(config, "w") as f:
        f.write(OPENSSL_CONFIG)
    subprocess.run(["openssl", *args], cwd=directory, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   env=dict(os.environ, OPENSSL_CONF=config))


def new_key_args(key):
    return ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
            "-nodes", "-keyout", key]


def make_ca(directory):
    subject = "/CN=Test CA %016x" % random.getrandbits(64)
    openssl(directory, "req", "-x509", "-new", "-config", "openssl.cnf",
            "-extensions", "ca", *new_key_args("ca.key"), "-subj", subject,
            "-days", "7", "-out", "ca.pem")


def make_server_certificate(directory):
    make_ca(directory)
    openssl(directory, "req", "-new", "-config", "openssl.cnf",
            *new_key_args("server.key"), "-subj", "/CN=127.0.0.1",
            "-out", "server.csr")
    openssl(directory, "x509", "-req", "-in", "server.csr", "-CA", "ca.pem",
            "-CAkey", "ca.key", "-set_serial", str(random.getrandbits(63)),
            "-days", "7", "-extfile", "openssl.cnf", "-extensions", "server",
            "-out", "server.pem")


def write_atomically(path, text):
    temporary = "%s.%d.tmp" % (path, threading.get_ident())
    with open(temporary, "w") as f:
        f.write(text)
    os.replace(temporary, path)


class State:
    """What the handlers share: the file, the control and the counters."""

    def __init__(self, path, directory):
        self.path = path
        self.directory = directory
        self.lock = threading.Lock()
        self.control = {}
        self.control_version = None
        self.requests_since_control = 0
        self.stats = {"requests": 0, "active": 0, "body_bytes": 0,
                      "statuses": {}, "request_times": [],
                      "request_ends": [], "ranges": [],
                      "connections": 0, "minisig_requests": 0}
        self.write_stats()

    def read_control(self):
        """The control for the request now starting, its fault entry (if
        any) applied."""
        with self.lock:
            try:
                with open(os.path.join(self.directory, "control.json")) as f:
                    info = os.fstat(f.fileno())
                    self.control = json.load(f)
                version = (info.st_ino, info.st_mtime_ns)
            except FileNotFoundError:
                self.control, version = {}, None
            except ValueError:
                version = self.control_version  # half-written: keep the last
            if version != self.control_version:
                self.control_version = version
                self.requests_since_control = 0
            control = dict(self.control)
            faults = control.pop("faults", None) or []
            if self.requests_since_control < len(faults):
                control.update(faults[self.requests_since_control])
            self.requests_since_control += 1
            return control

    def default_etag(self, path):
        info = os.stat(path)
        return '"%x-%x"' % (int(info.st_mtime), info.st_size)

    def count_request(self, range_header):
        with self.lock:
            self.stats["requests"] += 1
            self.stats["active"] += 1
            self.stats["request_times"].append(time.time())
            self.stats["ranges"].append(range_header)
            self.write_stats()

    def count(self, active=0, body_bytes=0, status=None, connections=0,
              ended=False):
        with self.lock:
            if ended:
                self.stats["request_ends"].append(time.time())
            self.stats["connections"] += connections
            self.stats["active"] += active
            self.stats["body_bytes"] += body_bytes
            if status is not None:
                key = str(status)
                self.stats["statuses"][key] = (
                    self.stats["statuses"].get(key, 0) + 1)
            self.write_stats()

    def count_signature_request(self):
        with self.lock:
            self.stats["minisig_requests"] += 1
            self.write_stats()

    def write_stats(self):
        write_atomically(os.path.join(self.directory, "stats.json"),
                         json.dumps(self.stats))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TestServer"
    timeout = 60

    def setup(self):
        self.server.state.count(connections=1)
        context = self.server.tls_context
        if context is not None:
            self.request = context.wrap_socket(self.request, server_side=True)
        super().setup()

    def log_message(self, format, *args):
        pass

    def send_response(self, code, message=None):
        self.server.state.count(status=code)
        super().send_response(code, message)

    def do_GET(self):
        state = self.server.state
        state.count_request(self.headers.get("Range"))
        self.body_sent = 0  # kept up to date for clients that hang up
        try:
            self.answer(state, state.read_control())
        finally:
            state.count(active=-1, body_bytes=self.body_sent, ended=True)

    def answer(self, state, control):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/loop":
            self.redirect("/loop")
            return
        if url.path == "/redirect":
            target = urllib.parse.parse_qs(url.query).get("to", ["/"])[0]
            self.redirect(target)
            return
        signature = url.path.endswith(".minisig")
        if signature:
            state.count_signature_request()
        if control.get("reset"):
            self.reset()
            return
        if "status" in control:
            self.error_page(int(control["status"]), control.get("retry_after"))
            return
        if (control.get("refuse_if_none_match")
                and "If-None-Match" in self.headers):
            self.error_page(400)
            return
        if signature:
            self.send_signature(control.get("minisig"))
            return
        path = control.get("file", state.path)
        etag = control.get("etag", state.default_etag(path))
        wanted = self.headers.get("If-None-Match")
        if (etag is not None and wanted is not None
                and control.get("if_none_match", True)
                and etag in [tag.strip() for tag in wanted.split(",")]):
            self.send_response(304)
            self.send_header("ETag", etag)
            self.end_headers()
            return
        self.send_file(path, etag, control)

    def redirect(self, location):
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def reset(self):
        """Drops the connection with a TCP reset, as a load balancer might."""
        self.close_connection = True
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                   struct.pack("ii", 1, 0))
        self.connection.close()

    def error_page(self, status, retry_after=None):
        page = b"<html><body>error page</body></html>\n"
        self.send_response(status)
        if retry_after is not None:
            self.send_header("Retry-After", str(retry_after))
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(page)))
        self.end_headers()
        self.wfile.write(page)
        self.body_sent += len(page)

    def send_signature(self, path):
        """The signature beside the archive: the file the control names,
        or 404 when it names none or the file is not there."""
        # Small answers go out at once, as production servers send them,
        # not after the client's delayed acknowledgement of the session
        # tickets (some 40 ms).
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            with open(path or "", "rb") as f:
                content = f.read()
        except FileNotFoundError:
            self.error_page(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(content)))
        self.end_headers()
        self.wfile.write(content)
        self.body_sent += len(content)

    def requested_range(self, size, etag, control):
        """(first, last) of the Range asked for and still valid, "beyond"
        for one past the end, or None for the whole body."""
        wanted = self.headers.get("Range")
        if wanted is None or control.get("ignore_ranges"):
            return None
        if_range = self.headers.get("If-Range")
        if if_range is not None and (etag is None or if_range != etag):
            return None
        match = re.fullmatch(r"bytes=(\d+)-(\d*)", wanted.strip())
        if not match:
            return None
        first = int(match.group(1))
        if first >= size:
            return "beyond"
        last = int(match.group(2)) if match.group(2) else size - 1
        return first, min(last, size - 1)

    def send_file(self, path, etag, control):
        with open(path, "rb") as f:
            coding = control.get("content_encoding")
            if coding is None:
                self.send_body(f, os.path.getsize(path), etag, control)
                return
            encode = gzip.compress if coding == "gzip" else zlib.compress
            body = encode(f.read())
        self.send_body(io.BytesIO(body), len(body), etag,
                       dict(control, ignore_ranges=True))

    def send_body(self, f, size, etag, control):
        """Sends "size" bytes from the file object "f" as the answer."""
        part = self.requested_range(size, etag, control)
        if part == "beyond":
            self.send_response(416)
            self.send_header("Content-Range", "bytes */%d" % size)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        first, last = part or (0, size - 1)
        chunked = bool(control.get("no_length"))
        delimited = bool(control.get("close_delimited"))
        limit = control.get("cut_after")
        if control.get("cut_at") is not None and control["cut_at"] > first:
            limit = control["cut_at"] - first
        rate = control.get("rate")
        # Ten blocks a second at a limited rate, so the pace shows smoothly.
        block_size = BLOCK_SIZE if rate is None else max(
            1, min(BLOCK_SIZE, int(rate) // 10))
        self.send_response(200 if part is None else 206)
        self.send_header("Content-Type", "application/zip")
        if etag is not None:
            self.send_header("ETag", etag)
        if not control.get("ignore_ranges"):
            self.send_header("Accept-Ranges", "bytes")
        if part is not None:
            self.send_header("Content-Range",
                             "bytes %d-%d/%d" % (first, last, size))
        if control.get("content_encoding"):
            self.send_header("Content-Encoding", control["content_encoding"])
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        elif delimited:
            self.send_header("Connection", "close")
        else:
            self.send_header("Content-Length", str(
                control.get("content_length", last + 1 - first)))
        self.end_headers()
        self.wfile.flush()
        time.sleep(float(control.get("stall", 0)))
        start = time.monotonic()
        f.seek(first)
        remaining = last + 1 - first
        while remaining > 0 and (limit is None or self.body_sent < limit):
            if rate is not None:
                time.sleep(max(0.0, start + self.body_sent / float(rate) -
                               time.monotonic()))
            wanted = min(block_size, remaining) if limit is None else min(
                block_size, remaining, limit - self.body_sent)
            block = f.read(wanted)
            remaining -= len(block)
            if not block:
                break
            framed = b"%x\r\n%s\r\n" % (len(block), block) if chunked \
                else block
            self.wfile.write(framed)
            self.body_sent += len(block)
        zeros = bytes(block_size)
        while control.get("endless"):
            self.wfile.write(b"%x\r\n%s\r\n" % (len(zeros), zeros)
                             if chunked else zeros)
            self.body_sent += len(zeros)
        if limit is not None:
            # Dropped without a TLS close_notify, as a broken link would.
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass  # the client left first
        elif chunked:
            self.wfile.write(b"0\r\n\r\n")
        elif delimited:
            self.close_connection = True
            self.wfile.flush()
            if isinstance(self.connection, ssl.SSLSocket):
                try:
                    self.connection.unwrap()  # the close_notify that ends it
                except CLIENT_ERRORS + (OSError,):
                    pass  # the client closed without its own close_notify


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # Anything but a client going away is a bug worth a traceback.
        if not isinstance(sys.exc_info()[1], CLIENT_ERRORS):
            super().handle_error(request, client_address)


def exit_with_parent():
    parent = os.getppid()
    while os.getppid() == parent:
        time.sleep(0.5)
    os._exit(0)


def main():
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    parser.add_argument("--make-ca", metavar="DIR")
    parser.add_argument("--plain", action="store_true")
    parser.add_argument("file", nargs="?")
    parser.add_argument("dir", nargs="?")
    args = parser.parse_args()
    if args.make_ca:
        make_ca(args.make_ca)
        return
    if not args.file or not args.dir:
        parser.error("FILE and DIR are needed")

    server = Server(("127.0.0.1", 0), Handler)
    server.state = State(args.file, args.dir)
    server.tls_context = None
    if not args.plain:
        make_server_certificate(args.dir)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(args.dir, "server.pem"),
                                os.path.join(args.dir, "server.key"))
        server.tls_context = context
    threading.Thread(target=exit_with_parent, daemon=True).start()
    write_atomically(os.path.join(args.dir, "port"),
                     str(server.server_address[1]))
    server.serve_forever()


if __name__ == "__main__":
    main()
