"""corvil-remote and corvil-emulator as child processes, for the Python tests,
the load test and the benchmark: a private rendezvous, the emulator's
command language, the remote's address, its HTTP interface and event stream."""
import json
import os
import re
import socket
import subprocess
import tempfile
import time
import urllib.request


class Emulator:
    def __init__(self, program, *args, env=None, wine=None):
        self.proc = subprocess.Popen(([wine] if wine else []) + [program, *args], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True, env=env, bufsize=1)
        ready = self.proc.stdout.readline().strip()
        if ready != "ready":
            raise RuntimeError(f"corvil-emulator did not start: {ready!r}")

    def command(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        return self.proc.stdout.readline().strip().replace("\r", "")

    def stop(self):
        if self.proc.poll() is None:
            self.command("quit")
            self.proc.wait(30)


class Remote:
    """corvil-remote listening on a loopback port (a free one unless given)."""

    def __init__(self, program, *args, port=0, env=None, wine=None):
        self.proc = subprocess.Popen(([wine] if wine else []) + [program, "--listen", f"127.0.0.1:{port}", *args],
                                     stdout=subprocess.PIPE, text=True, env=env)
        self.proc.stdout.readline()  # "corvil-remote: open the Corvil remote at"
        self.url = self.proc.stdout.readline().strip()
        m = re.match(r"http://127\.0\.0\.1:(\d+)/", self.url)
        if not m:
            raise RuntimeError(f"corvil-remote printed {self.url!r}")
        self.port = int(m.group(1))
        self.base = f"http://127.0.0.1:{self.port}"
        self.token = self.url.split("#token=")[1] if "#token=" in self.url else None

    def request(self, method, path, body=None, headers=None):
        data = None if body is None else json.dumps(body).encode()
        req = urllib.request.Request(self.base + path, data=data, method=method, headers=headers or {})
        if body is not None:
            req.add_header("Content-Type", "application/json")
        if self.token and not req.has_header("Authorization"):
            req.add_header("Authorization", "Bearer " + self.token)
        try:
            with urllib.request.urlopen(req, timeout=10) as r:
                return r.status, json.loads(r.read())
        except urllib.error.HTTPError as e:
            return e.code, json.loads(e.read() or b"null")

    def events(self, timeout=10):
        return Events(self.port, timeout, self.token)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(30)


class Events:
    """An open event stream: (id, unit) of each event in turn."""

    def __init__(self, port, timeout, token=None):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        query = f"?token={token}" if token else ""
        self.sock.sendall(f"GET /api/events{query} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n\r\n".encode())
        self.buffer = b""

    def next(self):
        while b"\n\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError("the event stream ended")
            self.buffer += chunk
        block, self.buffer = self.buffer.split(b"\n\n", 1)
        fields = dict(line.split(": ", 1) for line in block.decode().split("\n") if ": " in line)
        if "data" not in fields:
            return self.next()
        return int(fields["id"]), json.loads(fields["data"])

    def until(self, wanted, seconds=5):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            event = self.next()
            if wanted(event[1]):
                return event
        raise TimeoutError("no such event in time")

    def close(self):
        self.sock.close()


def private_rendezvous():
    """An environment whose units meet only this test's emulator."""
    env = dict(os.environ)
    env["XDG_RUNTIME_DIR"] = tempfile.mkdtemp(prefix="corvil-remote-test-")
    return env


def wait_for(check, seconds=5, every=0.02):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if check():
            return True
        time.sleep(every)
    return False
