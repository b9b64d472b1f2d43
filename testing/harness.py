"""corvil-emulator, corvil-remote and corvilctl as child processes for the
Python tests (corvil-remote's, corvilctl's, fathom-host's), the load test,
the benchmark and scripts/run-remote: a private rendezvous, the emulator's
commands, the remote's address, interface and event stream."""
import atexit
import http.client
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import traceback

failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what, flush=True)
    if not ok:
        failures.append(what)


def finish(name):
    print(f"{name}: {len(failures)} failed")
    sys.exit(1 if failures else 0)


def run_cases(name, *cases, after=lambda: None):
    """Each case in turn, then `after`; one that raises fails, and the next still runs."""
    for case in cases:
        print("--", case.__name__, flush=True)
        try:
            case()
        except Exception:
            check(False, f"{case.__name__} ran to its end: {traceback.format_exc()}")
        after()
    finish(name)


def windows_path(path):
    """A path of this side as a program under Wine names it: on drive Z:."""
    return "Z:" + path.replace("/", "\\")


def scratch(prefix):
    """A folder removed when the test ends."""
    folder = tempfile.mkdtemp(prefix=prefix)
    atexit.register(shutil.rmtree, folder, True)
    return folder


def private_rendezvous():
    """The units' folder: under XDG_RUNTIME_DIR on Linux, LOCALAPPDATA under Wine."""
    folder = scratch("corvil-remote-test-")
    return dict(os.environ, XDG_RUNTIME_DIR=folder, LOCALAPPDATA=windows_path(folder))


def wait_for(test, seconds=5, every=0.02):
    """What test() gives once it holds (False if it never does in time); a test that raises (an element the
    page has not drawn yet, a tree that changed under a walk) does not hold."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            if found := test():
                return found
        except Exception:
            pass
        if time.monotonic() > deadline:
            return False
        time.sleep(every)


class Emulator:
    """corvil-emulator with a unit for each of `serials`, given `commands` once it is ready; as a context,
    stopped at its end."""

    def __init__(self, program, *args, serials=(), commands=(), env=None, runner=()):
        self.proc = subprocess.Popen([*runner, program, *[a for s in serials for a in ("--serial", s)], *args],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, env=env, bufsize=1)
        if self.proc.stdout.readline().strip() != "ready":
            raise RuntimeError("corvil-emulator did not start")
        self.do(*commands)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()

    def command(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        return self.proc.stdout.readline().strip()

    def do(self, *lines):
        for line in lines:
            if self.command(line) != "ok":
                raise RuntimeError("corvil-emulator refused " + line)

    def stop(self):
        self.command("quit")
        self.proc.wait(30)


class Remote:
    """corvil-remote on a loopback port (a free one unless given), run by `runner`
    (Wine, valgrind) if given; with the access token it printed, if any, on
    every request."""

    def __init__(self, program, *args, port=0, env=None, runner=()):
        self.proc = subprocess.Popen([*runner, program, "--listen", f"127.0.0.1:{port}", *args],
                                     stdout=subprocess.PIPE, text=True, env=env)
        self.proc.stdout.readline()  # "corvil-remote: open the Corvil remote at"
        self.url = self.proc.stdout.readline().strip()
        self.port = int(re.match(r"http://127\.0\.0\.1:(\d+)/", self.url).group(1))
        self.base = f"http://127.0.0.1:{self.port}"
        self.token = self.url.partition("#token=")[2]

    def request(self, method, path, body=None, headers=None):
        """(status, JSON answer); a body that is a string goes as it is. A header
        given as None is left out."""
        headers = {**({"Content-Type": "application/json"} if body is not None else {}),
                   **({"Authorization": "Bearer " + self.token} if self.token else {}), **(headers or {})}
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            connection.request(method, path, body if body is None or isinstance(body, str) else json.dumps(body),
                               {name: value for name, value in headers.items() if value is not None})
            answer = connection.getresponse()
            text = answer.read()
        finally:
            connection.close()
        try:
            return answer.status, json.loads(text or b"null")
        except ValueError:
            return answer.status, text

    def events(self, timeout=10):
        return Events(self.port, timeout, self.token)

    def stop(self):
        """Its exit status (under valgrind, 99 for a memory error or leak)."""
        self.proc.terminate()
        return self.proc.wait(60)


class Events:
    """An open event stream: next() gives each event's (id, unit) in turn."""

    def __init__(self, port, timeout, token=""):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        query = f"?token={token}" if token else ""
        self.sock.sendall(f"GET /api/events{query} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n\r\n".encode())
        self.buffer = b""

    def next(self):
        while True:
            while b"\n\n" not in self.buffer:
                chunk = self.sock.recv(65536)
                if not chunk:
                    raise EOFError("the event stream ended")
                self.buffer += chunk
            block, self.buffer = self.buffer.split(b"\n\n", 1)
            fields = dict(line.split(": ", 1) for line in block.decode().split("\n") if ": " in line)
            if "data" in fields:
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


def browser():
    """Headless Chromium through chromedriver, with its console log kept."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    o = webdriver.ChromeOptions()
    o.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-dev-shm-usage",
                 "--user-data-dir=" + scratch("corvil-remote-chromium-")):
        o.add_argument(flag)
    o.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=o)


def screenshots(driver, folder):
    """The whole page at a phone's and a desktop's width."""
    for name, width in (("phone", 360), ("desktop", 1280)):
        driver.set_window_size(width, 800)
        driver.set_window_size(width, driver.execute_script("return document.body.scrollHeight") + 140)
        driver.execute_script("window.scrollTo(0, 0)")
        time.sleep(0.3)
        driver.save_screenshot(f"{folder}/{name}.png")
