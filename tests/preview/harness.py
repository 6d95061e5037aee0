"""What the tests of herald's preview share: their command line, the checks
that fail without stopping, how they end, a served preview to drive, and a
client of plain sockets that sends exactly what a test says."""

import argparse
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

failures = []


def expect(condition, message):
    """Records a failed check and goes on; the test fails at finish()."""
    if not condition:
        failures.append(message)
        print("FAILED: " + message)
    return condition


def arguments(chromium=True, extra=()):
    """--herald, --source, --out and, for the browser tests, --chromium, with
    Chromium found and the output folder made: (arguments, chromium's path or
    None, the output folder). extra: further (name, default) options."""
    parser = argparse.ArgumentParser()
    for name in ("herald", "source", "out") + (("chromium",) if chromium else ()):
        parser.add_argument("--" + name, required=True)
    for name, default in extra:
        parser.add_argument("--" + name, default=default)
    parsed = parser.parse_args()
    found = None
    if chromium:
        found = shutil.which(parsed.chromium) or ""
        if not found:
            sys.exit("chromium not found (%s): bash scripts/install-deps.sh installs it" % parsed.chromium)
    out = os.path.abspath(parsed.out)
    os.makedirs(out, exist_ok=True)
    return parsed, found, out


def finish(passed):
    """Exits failing when a check failed, else says passed."""
    if failures:
        sys.exit("%d checks failed" % len(failures))
    print(passed)


def wait_for(probe, seconds=5.0):
    """probe's first true value within seconds, else its last."""
    deadline = time.monotonic() + seconds
    while True:
        value = probe()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(0.05)


RULE = re.compile(r"^==== \d\d:\d\d:\d\d herald preview .* ====$", re.M)
# The last line of a preview's text: what the game allocator still held.
PREVIEW_END = "Game memory still held after unload"


class Serve:
    """herald preview --serve on a copy of the example (or of the given
    config) in a folder of its own, TMPDIR too, so that a folder left behind
    is seen; its output kept."""

    def __init__(self, herald, source, folder, config=None, port=0):
        shutil.rmtree(folder, ignore_errors=True)
        self.tmp = os.path.join(folder, "tmp")
        os.makedirs(self.tmp)
        self.config = os.path.join(folder, "config.json")
        shutil.copy(config or os.path.join(source, "examples", "config.json"), self.config)
        self.herald = herald
        self.process = subprocess.Popen([herald, "preview", self.config, "--serve", "--port", str(port)],
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                        env=dict(os.environ, TMPDIR=self.tmp))
        first = self.process.stdout.readline()
        self.port = int(re.search(r"on http://127\.0\.0\.1:(\d+)/ \(Ctrl-C stops\)$", first).group(1))
        # Lines kept in a list and counted as they come: the text of a big
        # config's preview runs to megabytes.
        self.lines = [first]
        self.rule_count = 0
        self.ended_count = 0
        threading.Thread(target=self._read, daemon=True).start()
        wait_for(lambda: self.rules() == 1)

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line)
            if RULE.match(line):
                self.rule_count += 1
            elif line.startswith(PREVIEW_END):
                self.ended_count += 1

    @property
    def output(self):
        return "".join(self.lines)

    def rules(self):
        """Previews begun: each begins with a rule."""
        return self.rule_count

    def previews_done(self):
        """Previews whose text has been printed whole."""
        return self.ended_count

    def url(self, path="/"):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def host(self):
        return "127.0.0.1:%d" % self.port

    def save(self, text):
        with open(self.config, "w", encoding="utf-8") as file:
            file.write(text)

    def edited(self, old, new):
        with open(self.config, encoding="utf-8") as file:
            text = file.read()
        assert old in text
        return text.replace(old, new)

    def stop(self, how=signal.SIGINT, seconds=30):
        """Sends the signal; the exit status, or None when herald did not end
        within seconds (it is then killed)."""
        self.process.send_signal(how)
        try:
            self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            self.kill()
            return None
        return self.process.returncode

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def rss_kib(self):
        """herald's resident memory now, and the most it has had: (VmRSS, VmHWM) in KiB."""
        values = {}
        with open("/proc/%d/status" % self.process.pid) as status:
            for line in status:
                name, _, value = line.partition(":")
                if name in ("VmRSS", "VmHWM"):
                    values[name] = int(value.split()[0])
        return values["VmRSS"], values["VmHWM"]


class Client:
    """One connection to herald that sends and reads exactly what it is told."""

    def __init__(self, port, timeout=5.0):
        self.timeout = timeout
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.buffer = bytearray()  # grown in place: a page of tens of megabytes comes in many pieces
        self.failure = None
        self.ended = False

    def send(self, data):
        """True when all of data went; else False, with failure saying why:
        "closed" (herald closed or reset the connection) or "stalled" (it
        took nothing for the client's timeout)."""
        self.socket.settimeout(self.timeout)
        try:
            self.socket.sendall(data)
            return True
        except socket.timeout:
            self.failure = "stalled"
        except OSError:
            self.failure = "closed"
        return False

    def head(self, seconds=5.0):
        """The response's status and headers (names lower-cased), or (None, {})
        when the connection ended or nothing came within seconds."""
        deadline = time.monotonic() + seconds
        while b"\r\n\r\n" not in self.buffer:
            if not self._more(deadline):
                return None, {}
        end = self.buffer.index(b"\r\n\r\n")
        raw, self.buffer = bytes(self.buffer[:end]), self.buffer[end + 4:]
        lines = raw.decode("latin-1").split("\r\n")
        status = int(lines[0].split()[1])
        headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            headers[name.strip().lower()] = value.strip()
        return status, headers

    def until(self, marker, seconds=5.0):
        """What was read up to and with marker, or None."""
        deadline = time.monotonic() + seconds
        searched = 0  # each byte looked at once, however many pieces it takes
        while (found := self.buffer.find(marker, searched)) < 0:
            searched = max(0, len(self.buffer) - len(marker) + 1)
            if not self._more(deadline):
                return None
        end = found + len(marker)
        taken, self.buffer = bytes(self.buffer[:end]), self.buffer[end:]
        return taken

    def rest(self, seconds=5.0):
        """Everything up to the end of the connection, and whether it ended
        within seconds (rather than hanging)."""
        deadline = time.monotonic() + seconds
        while self._more(deadline):
            pass
        taken, self.buffer = bytes(self.buffer), bytearray()
        return taken, self.ended

    def _more(self, deadline):
        self.ended = False
        left = deadline - time.monotonic()
        if left <= 0:
            return False
        self.socket.settimeout(left)
        try:
            chunk = self.socket.recv(1 << 16)
        except socket.timeout:
            return False
        except OSError:
            self.ended = True
            return False
        if not chunk:
            self.ended = True
            return False
        self.buffer += chunk
        return True

    def close(self):
        self.socket.close()


def get(port, path="/", host=None, seconds=5.0):
    """A plain GET, read to its end: (status, headers, body)."""
    client = Client(port, seconds)
    try:
        client.send(("GET %s HTTP/1.1\r\nHost: %s\r\n\r\n" % (path, host or "127.0.0.1:%d" % port)).encode())
        status, headers = client.head(seconds)
        body, _ = client.rest(seconds)
        return status, headers, body
    finally:
        client.close()


def open_stream(port, since, seconds=5.0):
    """A page's event stream, its response head read: (client, status)."""
    client = Client(port, seconds)
    client.send(("GET /events?since=%s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nAccept: text/event-stream\r\n\r\n"
                 % (since, port)).encode())
    status, _ = client.head(seconds)
    return client, status


def page_version(body):
    """The version a served page says it is."""
    found = re.search(rb'<meta name="herald-version" content="([^"]*)">', body)
    return found.group(1).decode() if found else None
