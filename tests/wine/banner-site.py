#!/usr/bin/env python3
"""The maker's web site as the banner tests need it: a small HTTP server on
127.0.0.1 that the Wine prefix reaches through its proxy setting.

    banner-site.py start DIR   start the server in the background; it writes
                               DIR/port and DIR/pid and serves DIR/site
    banner-site.py stop DIR    stop the server named by DIR/pid
    banner-site.py serve DIR   (what start runs)

The program asks the proxy for absolute addresses such as
http://www.kestro.example/zelvo/descript.ion; the server answers any host
with the file of that name in DIR/site, 404 when there is none, and appends
the path of every request to DIR/requests.log. It listens on 127.0.0.1 only
and serves plain names from DIR/site only.
"""

import http.server
import os
import signal
import socketserver
import subprocess
import sys
import time
import urllib.parse

SITE_PATH = "/zelvo/"
START_TIMEOUT_S = 10
STOP_TIMEOUT_S = 5


def read_pid(directory):
    try:
        with open(os.path.join(directory, "pid")) as f:
            return int(f.read().strip())
    except (OSError, ValueError):
        return None


def is_running(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    # A child that ended but was not reaped still answers; it is not serving.
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().split(") ", 1)[1][:1] != "Z"
    except OSError:
        return True


def write_atomically(path, text):
    with open(path + ".new", "w") as f:
        f.write(text)
    os.replace(path + ".new", path)


class Handler(http.server.BaseHTTPRequestHandler):
    site_dir = ""
    log_path = ""

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        with open(self.log_path, "a") as log:
            log.write(path + "\n")
        name = path[len(SITE_PATH):] if path.startswith(SITE_PATH) else ""
        file = os.path.join(self.site_dir, name)
        if not name or "/" in name or name.startswith(".") or not os.path.isfile(file):
            self.send_error(404)
            return
        with open(file, "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        # The program asks for a fresh copy each time; nothing should keep one.
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def serve(directory):
    site = os.path.join(directory, "site")
    os.makedirs(site, exist_ok=True)
    Handler.site_dir = site
    Handler.log_path = os.path.join(directory, "requests.log")
    server = Server(("127.0.0.1", 0), Handler)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    write_atomically(os.path.join(directory, "pid"), str(os.getpid()))
    write_atomically(os.path.join(directory, "port"), str(server.server_address[1]))
    server.serve_forever()


def stop(directory):
    pid = read_pid(directory)
    if pid is not None and is_running(pid):
        os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + STOP_TIMEOUT_S
        while is_running(pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        if is_running(pid):
            os.kill(pid, signal.SIGKILL)
    for name in ("pid", "port"):
        try:
            os.remove(os.path.join(directory, name))
        except FileNotFoundError:
            pass


def start(directory):
    os.makedirs(directory, exist_ok=True)
    stop(directory)  # one left by a run that was killed
    with open(os.path.join(directory, "server.log"), "w") as log:
        # Detached and with none of ctest's pipes, so that the start test ends
        # while the server goes on.
        process = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", directory],
                                   stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    deadline = time.monotonic() + START_TIMEOUT_S
    port_file = os.path.join(directory, "port")
    while not os.path.exists(port_file):
        if process.poll() is not None or time.monotonic() > deadline:
            sys.exit(f"banner-site: the server did not start (see {directory}/server.log)")
        time.sleep(0.05)
    with open(port_file) as f:
        print(f"banner-site: serving {directory}/site on 127.0.0.1:{f.read().strip()}, pid {process.pid}")


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop", "serve"):
        sys.exit(__doc__)
    directory = os.path.abspath(sys.argv[2])
    {"start": start, "stop": stop, "serve": serve}[sys.argv[1]](directory)


if __name__ == "__main__":
    main()
