#!/usr/bin/env python3
"""The updater tests' update server and proxy, on loopback only.

update_server.py ROOT LOG [--tls DIR] [--proxy USER:PASSWORD]

Prints "pid N" and "server PORT": the files under ROOT on 127.0.0.1 ("updates.php" holds the version answer),
over HTTPS with --tls (a test CA and a certificate for 127.0.0.1 and localhost are made in DIR; DIR/ca.crt is the CA). With
--proxy also "proxy PORT": a proxy that wants basic authentication and forwards only to 127.0.0.1. A file with
a sibling "<name>.cut" is announced at full length, but the connection closes after half of it. Every request
is appended to LOG as "<direct|proxy> <method> <target> cache-control=<value>".
"""
import base64
import http.server
import os
import select
import socket
import ssl
import subprocess
import sys
import threading
import urllib.parse

log_lock = threading.Lock()
log_file = None


def log(line):
    if log_file:
        with log_lock, open(log_file, "a") as f:
            f.write(line + "\n")


def make_ca(folder):
    def run(*args):
        subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    os.makedirs(folder, exist_ok=True)
    p = lambda name: os.path.join(folder, name)
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    run("req", "-x509", *ec, "-keyout", p("ca.key"), "-out", p("ca.crt"), "-days", "2",
        "-subj", "/CN=Fernpad updater test CA", "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign")
    run("req", *ec, "-keyout", p("server.key"), "-out", p("server.csr"), "-subj", "/CN=127.0.0.1")
    with open(p("server.ext"), "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n")
    run("x509", "-req", "-in", p("server.csr"), "-CA", p("ca.crt"), "-CAkey", p("ca.key"),
        "-CAcreateserial", "-days", "2", "-extfile", p("server.ext"), "-out", p("server.crt"))
    return p("server.crt"), p("server.key")


class FileHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = "."

    def log_message(self, *args):
        pass

    def do_GET(self):
        log("direct GET %s cache-control=%s" % (self.path, self.headers.get("Cache-Control", "")))
        path = urllib.parse.urlsplit(self.path).path
        file = os.path.realpath(os.path.join(self.root, urllib.parse.unquote(path).lstrip("/")))
        if not file.startswith(os.path.realpath(self.root) + os.sep) or not os.path.isfile(file):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        with open(file, "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if os.path.exists(file + ".cut"):
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            return
        self.wfile.write(body)


class ProxyHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    credentials = ""

    def log_message(self, *args):
        pass

    def authorised(self):
        expected = "Basic " + base64.b64encode(self.credentials.encode()).decode()
        if self.headers.get("Proxy-Authorization", "") == expected:
            return True
        log("proxy refused %s %s" % (self.command, self.path))
        self.send_response(407)
        self.send_header("Proxy-Authenticate", 'Basic realm="test"')
        self.send_header("Content-Length", "0")
        self.end_headers()
        return False

    def connect_to(self, host, port):
        if host not in ("127.0.0.1", "localhost"):
            self.send_error(403)
            return None
        return socket.create_connection((host, port), timeout=30)

    def do_CONNECT(self):
        if not self.authorised():
            return
        host, _, port = self.path.rpartition(":")
        log("proxy CONNECT %s cache-control=" % self.path)
        upstream = self.connect_to(host, int(port))
        if not upstream:
            return
        self.send_response(200)
        self.end_headers()
        self.wfile.flush()
        sockets = [self.connection, upstream]
        while True:
            ready, _, _ = select.select(sockets, [], [], 30)
            if not ready:
                break
            for s in ready:
                data = s.recv(65536)
                if not data:
                    upstream.close()
                    return
                (upstream if s is self.connection else self.connection).sendall(data)
        upstream.close()

    def do_GET(self):
        if not self.authorised():
            return
        log("proxy GET %s cache-control=%s" % (self.path, self.headers.get("Cache-Control", "")))
        url = urllib.parse.urlsplit(self.path)
        if not url.hostname:  # wine's WinHTTP sends only the path, with the server in "Host"
            url = urllib.parse.urlsplit("http://" + self.headers.get("Host", "") + self.path)
        upstream = self.connect_to(url.hostname, url.port or 80)
        if not upstream:
            return
        target = url.path + ("?" + url.query if url.query else "")
        headers = "".join("%s: %s\r\n" % (k, v) for k, v in self.headers.items()
                          if k.lower() not in ("proxy-authorization", "proxy-connection", "connection"))
        upstream.sendall(("GET %s HTTP/1.0\r\n%sConnection: close\r\n\r\n" % (target, headers)).encode())
        while True:
            data = upstream.recv(65536)
            if not data:
                break
            self.wfile.write(data)
        upstream.close()
        self.close_connection = True


class QuietServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # a client that went away mid-answer is part of the tests


def main():
    global log_file
    root, log_file = sys.argv[1], sys.argv[2]
    options = dict(zip(sys.argv[3::2], sys.argv[4::2]))
    tls, proxy = options.get("--tls"), options.get("--proxy")
    print("pid %d" % os.getpid(), flush=True)
    FileHandler.root = root
    server = QuietServer(("127.0.0.1", 0), FileHandler)
    if tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*make_ca(tls))
        server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("server %d" % server.server_address[1], flush=True)
    if proxy:
        ProxyHandler.credentials = proxy
        proxy_server = QuietServer(("127.0.0.1", 0), ProxyHandler)
        threading.Thread(target=proxy_server.serve_forever, daemon=True).start()
        print("proxy %d" % proxy_server.server_address[1], flush=True)
    threading.Event().wait()


if __name__ == "__main__":
    main()
