#!/usr/bin/env python3
"""Soak: the built server under mixed load from an allowed handheld while others attack it.

For a bounded time (default 300 s) the allowed peer 127.0.0.1 sends HTTP moves on a keep-alive connection,
snapshots and datagram moves with pings, while spoofed unknown senders flood the datagram port from many
loopback addresses, unknown peers hold half-sent requests open, and a web page's requests (with a foreign
Origin) come from the allowed address. Prints what the allowed peer got served or lost, HTTP and ping
latency, and the server's memory, threads and open files at the start and after the attack has stopped.

Usage: bench/soak/soak.py [seconds] [path to fernpad-server]   (traffic stays on 127.0.0.0/8)
"""
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def free_port(kind):
    s = socket.socket(socket.AF_INET, kind)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def start_xvfb():
    for number in range(90, 140):
        if os.path.exists(f"/tmp/.X11-unix/X{number}") or os.path.exists(f"/tmp/.X{number}-lock"):
            continue
        proc = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1920x1080x24", "-noreset", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(f"/tmp/.X11-unix/X{number}"):
                return proc, f":{number}"
            time.sleep(0.05)
        proc.kill()
    raise RuntimeError("no free display for Xvfb")


def process_figures(pid):
    figures = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "Threads"):
                figures[key] = value.strip()
    figures["fds"] = len(os.listdir(f"/proc/{pid}/fd"))
    return figures


class Counter:
    def __init__(self):
        self.lock = threading.Lock()
        self.served = 0
        self.dropped = 0
        self.latencies = []

    def add(self, ok, latency=None):
        with self.lock:
            if ok:
                self.served += 1
                if latency is not None:
                    self.latencies.append(latency)
            else:
                self.dropped += 1


def percentile(values, p):
    if not values:
        return float("nan")
    values = sorted(values)
    return values[min(len(values) - 1, int(p * len(values)))]


def read_response(sock):
    """One HTTP response on a keep-alive socket: (status, body)."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            raise ConnectionError("closed")
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value)
    while len(body) < length:
        chunk = sock.recv(65536)
        if not chunk:
            raise ConnectionError("closed")
        body += chunk
    return int(head.split(b" ")[1]), body[:length]


def http_client(port, stop, counter, query, rate, check):
    """The allowed handheld over HTTP: one keep-alive connection, reopened if it is lost."""
    sock = None
    interval = 1.0 / rate
    next_at = time.monotonic()
    while not stop.is_set():
        next_at += interval
        try:
            if sock is None:
                sock = socket.create_connection(("127.0.0.1", port), timeout=5)
                sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            start = time.monotonic()
            sock.sendall(f"GET /?{query} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n\r\n".encode())
            status, body = read_response(sock)
            counter.add(status == 200 and check(body), time.monotonic() - start)
        except (OSError, ConnectionError, ValueError, IndexError):
            counter.add(False)
            if sock:
                sock.close()
            sock = None
        delay = next_at - time.monotonic()
        if delay > 0:
            time.sleep(delay)
    if sock:
        sock.close()


def datagram_client(udp_port, answer_sock, stop, counter, rate):
    """The allowed handheld's datagrams: moves, and a ping every tenth one whose answer must come back."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 0))
    move = bytes([2]) + struct.pack("<ff", 1.0, 0.0)
    interval = 1.0 / rate
    n = 0
    while not stop.is_set():
        n += 1
        if n % 10:
            sock.sendto(move, ("127.0.0.1", udp_port))
        else:
            start = time.monotonic()
            sock.sendto(bytes([8]), ("127.0.0.1", udp_port))
            try:
                data = answer_sock.recv(64)
                counter.add(data == b"ok!", time.monotonic() - start)
            except socket.timeout:
                counter.add(False)
        time.sleep(interval)
    sock.close()


def spoofer(udp_port, stop, sent, first, count):
    """Datagrams from many unknown loopback addresses: discovery, moves and key presses."""
    socks = []
    for i in range(count):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind((f"127.0.{first}.{i + 1}", 0))
        socks.append(s)
    payloads = [bytes([100]), bytes([2]) + struct.pack("<ff", 50.0, 50.0), bytes([11, 6]) + b"%20%10"]
    while not stop.is_set():
        for s in socks:
            for p in payloads:
                s.sendto(p, ("127.0.0.1", udp_port))
                sent[0] += 1
        time.sleep(0.01)
    for s in socks:
        s.close()


def slow_clients(port, stop, opened, first, count):
    """Unknown peers that open connections and send half a request, again whenever they are closed."""
    held = {}
    while not stop.is_set():
        for i in range(count):
            if i in held:
                continue
            try:
                s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                s.bind((f"127.0.{first}.{i % 50 + 1}", 0))
                s.settimeout(2)
                s.connect(("127.0.0.1", port))
                s.sendall(b"GET /?x:0&y:0&a=m HTTP/1.1\r\nHo")
                s.setblocking(False)
                held[i] = s
                opened[0] += 1
            except OSError:
                pass
        for i, s in list(held.items()):
            try:
                if s.recv(1) == b"":
                    raise OSError
            except BlockingIOError:
                continue
            except OSError:
                pass
            s.close()
            del held[i]
        time.sleep(0.2)
    for s in held.values():
        s.close()


def web_page(port, stop, refused):
    """Requests a web page in a browser on the allowed device would make: they must all be refused."""
    while not stop.is_set():
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
                s.sendall(f"GET /?x:0&y:0&a=k&v=%20x HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
                          "Origin: http://evil.example\r\nSec-Fetch-Site: cross-site\r\n\r\n".encode())
                status, _ = read_response(s)
                refused[status == 403] += 1
        except (OSError, ConnectionError):
            refused[False] += 1
        time.sleep(0.1)


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 300.0
    binary = sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "build/default/src/app/fernpad-server")
    xvfb, display = start_xvfb()
    config = tempfile.mkdtemp(prefix="fernpad-soak-")
    http_port = free_port(socket.SOCK_STREAM)
    udp_port = free_port(socket.SOCK_DGRAM)
    answers = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    answers.bind(("127.0.0.1", 0))
    answers.settimeout(2)
    env = dict(os.environ, DISPLAY=display, XDG_CONFIG_HOME=config, XDG_DATA_HOME=config)
    server = subprocess.Popen([binary, "--headless", "--config-dir", config, "--allow", "127.0.0.1",
                               "--http-port", str(http_port), "--udp-port", str(udp_port),
                               "--udp-answer-port", str(answers.getsockname()[1])],
                              env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", http_port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.05)
        # Warm up: the first snapshot sets up the capture buffers the server keeps for the next ones.
        for _ in range(3):
            with socket.create_connection(("127.0.0.1", http_port), timeout=5) as s:
                s.sendall(b"GET /?x:0&y:0&a=ss HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
                read_response(s)
        time.sleep(1)
        before = process_figures(server.pid)
        options_before = os.path.getsize(os.path.join(config, "option.dat"))

        stop = threading.Event()
        moves, snaps, pings = Counter(), Counter(), Counter()
        spoofed, slow, refused = [0], [0], {True: 0, False: 0}
        threads = [
            threading.Thread(target=http_client, args=(http_port, stop, moves, "x:1&y:0&a=m", 200,
                                                       lambda b: b == b" ")),
            threading.Thread(target=http_client, args=(http_port, stop, snaps, "x:0&y:0&a=ss", 5,
                                                       lambda b: b[:2] == b"\xff\xd8")),
            threading.Thread(target=datagram_client, args=(udp_port, answers, stop, pings, 200)),
            threading.Thread(target=spoofer, args=(udp_port, stop, spoofed, 1, 200)),
            threading.Thread(target=slow_clients, args=(http_port, stop, slow, 2, 100)),
            threading.Thread(target=web_page, args=(http_port, stop, refused)),
        ]
        for t in threads:
            t.start()
        time.sleep(seconds)
        stop.set()
        for t in threads:
            t.join(timeout=30)
        time.sleep(8)  # let the server close what the attackers left behind
        after = process_figures(server.pid)
        options_after = os.path.getsize(os.path.join(config, "option.dat"))

        print(f"soak: {seconds:.0f} s against {binary}")
        for name, c in (("HTTP moves", moves), ("snapshots", snaps), ("datagram pings", pings)):
            print(f"  allowed {name}: served {c.served}, dropped {c.dropped}, "
                  f"p50 {percentile(c.latencies, 0.5) * 1000:.2f} ms, p99 {percentile(c.latencies, 0.99) * 1000:.2f} ms")
        print(f"  attack: {spoofed[0]} spoofed datagrams from 200 addresses, {slow[0]} half-sent requests, "
              f"web-page requests refused {refused[True]}, served {refused[False]}")
        print(f"  options file: {options_before} bytes before, {options_after} after")
        for key in ("VmRSS", "Threads", "fds"):
            print(f"  {key}: {before[key]} at start, {after[key]} at end")
        ok = moves.dropped == 0 and pings.dropped == 0 and snaps.dropped == 0 and refused[False] == 0
        print("  result:", "nothing of the allowed peer dropped" if ok else "the allowed peer lost requests")
        return 0 if ok else 1
    finally:
        server.terminate()
        server.wait(timeout=10)
        xvfb.terminate()
        xvfb.wait(timeout=10)
        shutil.rmtree(config, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
