#!/usr/bin/env python3
"""Runs a Windows test program of the updater under wine against update_server.py on this machine.

with_update_server.py MINISIGN PROGRAM [EMULATOR...]

Makes a site in a temporary folder: "updates.php" answering 0.2.0.0, FernpadServer/Update.exe (300 KiB of
noise) with its signature by a new minisign key, "big" (200 KiB) and "cut" (announced in full, cut after
half). Starts a plain server with a proxy that wants "fern:pad words" and an HTTPS server with its own CA,
then runs the program with FERNPAD_TEST_SITE, FERNPAD_TEST_LOG, FERNPAD_TEST_CA (Windows paths),
FERNPAD_TEST_HTTP_PORT, FERNPAD_TEST_HTTPS_PORT, FERNPAD_TEST_PROXY_PORT and FERNPAD_TEST_PUBLIC_KEY. Wine's
sockets are this machine's, so the program reaches the servers on 127.0.0.1. Ends both servers by their
process ids and exits with the program's exit code.
"""
import os
import random
import subprocess
import sys
import tempfile

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "update_server.py")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")  # wine shows the Linux root as drive Z:


def start_server(site, log, *options):
    server = subprocess.Popen([sys.executable, SERVER, site, log, *options], stdout=subprocess.PIPE, text=True)
    ports = {}
    for _ in range(3 if "--proxy" in options else 2):
        word, number = server.stdout.readline().split()
        ports[word] = int(number)
    return server, ports


def main():
    minisign, program = sys.argv[1], sys.argv[2:]
    with tempfile.TemporaryDirectory(prefix="fernpad-winhttp-") as folder:
        site = os.path.join(folder, "site")
        os.makedirs(os.path.join(site, "FernpadServer"))
        noise = random.Random(11)
        with open(os.path.join(site, "updates.php"), "w") as f:
            f.write("0.2.0.0\r\n")
        installer = os.path.join(site, "FernpadServer", "Update.exe")
        with open(installer, "wb") as f:
            f.write(noise.randbytes(300 * 1024))
        for name in ("big", "cut"):
            with open(os.path.join(site, name), "wb") as f:
                f.write(noise.randbytes(200 * 1024))
        open(os.path.join(site, "cut.cut"), "w").close()
        public, secret = os.path.join(folder, "release.pub"), os.path.join(folder, "release.key")
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL, "check": True}
        subprocess.run([minisign, "-G", "-f", "-W", "-p", public, "-s", secret], **quiet)
        subprocess.run([minisign, "-S", "-s", secret, "-t", "FernpadServer 0.2.0.0", "-m", installer], **quiet)
        with open(public) as f:
            public_line = f.read().splitlines()[1]

        log = os.path.join(folder, "requests.log")
        plain, plain_ports = start_server(site, log, "--proxy", "fern:pad words")
        tls, tls_ports = start_server(site, log, "--tls", os.path.join(folder, "tls"))
        try:
            env = {k: v for k, v in os.environ.items()
                   if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}
            env.update({
                "FERNPAD_TEST_SITE": windows_path(site),
                "FERNPAD_TEST_LOG": windows_path(log),
                "FERNPAD_TEST_CA": windows_path(os.path.join(folder, "tls", "ca.crt")),
                "FERNPAD_TEST_HTTP_PORT": str(plain_ports["server"]),
                "FERNPAD_TEST_PROXY_PORT": str(plain_ports["proxy"]),
                "FERNPAD_TEST_HTTPS_PORT": str(tls_ports["server"]),
                "FERNPAD_TEST_PUBLIC_KEY": public_line,
            })
            return subprocess.run(program, env=env, timeout=240).returncode
        finally:
            for server in (plain, tls):
                server.terminate()
                server.wait(timeout=10)


if __name__ == "__main__":
    sys.exit(main())
