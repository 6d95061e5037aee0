#!/usr/bin/env python3
"""herald preview --serve against clients that do not behave, over plain
sockets: a second herald on the same port, a stop while clients trickle or
idle, bodies and heads without end, malformed requests, and as many open
pages as herald follows and one more.

Each case starts `herald preview CONFIG --serve --port 0` on a copy of the
example configuration in a folder of its own under the output folder, with
TMPDIR there too, so that a folder left behind is seen.

    serve_limits_test.py --herald PATH --source DIR --out DIR [--rss-limit-mb N]

--rss-limit-mb bounds herald's resident memory while it is flooded; a
sanitizer build, whose allocator holds memory of its own, leaves it out and
only the growth is bounded.
"""

import os
import signal
import subprocess
import threading
import time

import harness
from harness import Client, Serve, expect, wait_for

MIB = 1 << 20
# What herald may take of a flood before it cuts the connection: its own
# bounds are kilobytes; the rest is what the two sockets' buffers hold.
FLOOD_ALLOWANCE = 32 * MIB
# How much herald's resident memory may grow while it is flooded.
GROWTH_ALLOWANCE_KIB = 16 * 1024


def second_server_on_the_same_port(arguments, out):
    serve = Serve(arguments.herald, arguments.source, os.path.join(out, "same-port"))
    try:
        config = os.path.join(arguments.source, "examples", "config.json")
        try:
            result = subprocess.run([arguments.herald, "preview", config, "--serve", "--port", str(serve.port)],
                                    capture_output=True, text=True, timeout=20)
        except subprocess.TimeoutExpired:  # it was killed
            expect(False, "a second herald on a port herald serves ends at once; it went on serving")
            return
        expect(result.returncode == 2, "a second herald on a port herald serves: exit 2, not %d" % result.returncode)
        expect(result.stdout == "", "a second herald on the same port prints nothing on standard output")
        expect(result.stderr == "herald: can't listen on 127.0.0.1:%d: the port is in use or not allowed (--port "
               "picks another, --port 0 a free one)\n" % serve.port,
               "a second herald on the same port says so in one line: " + result.stderr)
        expect(harness.get(serve.port)[0] == 200, "the first herald still serves its page")
    finally:
        serve.stop()


class Trickler(threading.Thread):
    """A request head that never ends: a line every `every` seconds."""

    def __init__(self, port, every):
        super().__init__(daemon=True)
        self.client = Client(port)
        self.every = every
        self.stopped = threading.Event()

    def run(self):
        if not self.client.send(b"GET / HTTP/1.1\r\n"):
            return
        line = 0
        while not self.stopped.wait(self.every) and self.client.send(b"X-Trickle-%d: x\r\n" % line):
            line += 1

    def stop(self):
        self.stopped.set()
        self.join()
        self.client.close()


def stop_whatever_the_clients_do(arguments, out):
    for how in (signal.SIGINT, signal.SIGTERM):
        name = signal.Signals(how).name
        serve = Serve(arguments.herald, arguments.source, os.path.join(out, "stop-" + name))
        trickler = Trickler(serve.port, 0.2)
        idle = Client(serve.port)
        stream, _ = harness.open_stream(serve.port, "an-older-page")
        try:
            trickler.start()
            time.sleep(0.7)  # the head is on its way, a line at a time
            started = time.monotonic()
            code = serve.stop(how, seconds=5)
            took = time.monotonic() - started
            print("  %s: herald ended after %.3f s (%s)" % (name, took, code))
            expect(code == -how, "%s with clients open ends herald by that signal, not %s" % (name, code))
            expect(took < 1.0, "%s with a trickling head, an idle connection and an open page ends herald "
                   "within a second, not %.2f s" % (name, took))
            expect(os.listdir(serve.tmp) == [], "%s: no temporary folder is left: %s" % (name, os.listdir(serve.tmp)))
            expect(serve.process.stderr.read() == "", "%s: nothing is said on stopping" % name)
        finally:
            trickler.stop()
            idle.close()
            stream.close()
            serve.kill()


def flood(client, piece, most):
    """Sends piece again and again until herald cuts the connection or `most`
    bytes went; gives what was sent."""
    sent = 0
    while sent < most and client.send(piece):
        sent += len(piece)
    return sent


def expect_cut_off(what, client, sent):
    print("  %s: cut off (%s) after %d MiB" % (what, client.failure, sent // MIB))
    expect(sent < FLOOD_ALLOWANCE and client.failure == "closed",
           "%s: herald took %d MiB (%s) before it cut the connection" % (what, sent // MIB, client.failure))


class MemorySampler(threading.Thread):
    """herald's resident memory, sampled every 10 ms until stopped."""

    def __init__(self, serve):
        super().__init__(daemon=True)
        self.serve = serve
        self.most = serve.rss_kib()[0]
        self.stopped = threading.Event()

    def run(self):
        while not self.stopped.wait(0.01):
            self.most = max(self.most, self.serve.rss_kib()[0])

    def stop(self):
        self.stopped.set()
        self.join()
        return self.most


# Heads that never end, sent as fast as herald takes them.
FLOODS = [
    ("header lines without end", "GET / HTTP/1.1\r\nHost: {host}\r\n", b"X-Filler: " + b"a" * 100 + b"\r\n"),
    ("a request line without end", "GET /", b"a" * 128),
    ("one header line without end", "GET / HTTP/1.1\r\nX-Filler: ", b"a" * 128),
]


def endless_heads_cut_off(arguments, out):
    serve = Serve(arguments.herald, arguments.source, os.path.join(out, "floods"))
    try:
        before = serve.rss_kib()[0]
        sampler = MemorySampler(serve)
        sampler.start()
        for what, start, unit in FLOODS:
            client = Client(serve.port)
            sent = 0
            if client.send(start.format(host=serve.host()).encode()):
                sent = flood(client, unit * (MIB // len(unit)), 100 * MIB)
            expect_cut_off(what, client, sent)
            client.close()
        most = sampler.stop()
        print("  resident memory: %d KiB before the floods, at most %d KiB during them" % (before, most))
        expect(most - before < GROWTH_ALLOWANCE_KIB, "flooded, herald grew by %d KiB, from %d KiB"
               % (most - before, before))
        if arguments.rss_limit_mb:
            limit = int(arguments.rss_limit_mb) * 1024
            expect(most < limit, "flooded, herald's resident memory stays under %d KiB: %d KiB" % (limit, most))
        expect(harness.get(serve.port)[0] == 200, "after the floods the page is still served")
    finally:
        serve.stop()


def many_lines(count):
    return "".join("X-Line-%d: x\r\n" % line for line in range(count))


def plain_body(piece):
    return b"x" * piece


def chunked_body(piece):
    return b"%x\r\n" % piece + b"x" * piece + b"\r\n"


# Heads sent whole, and the status each gets; the connection then closes. A
# head that asks to send a body, or uses another method, is refused at once,
# before the body is read: the rest of it (300 MB) is cut off.
HEADS = [
    ("a POST of 300 MB", "POST / HTTP/1.1\r\nHost: {host}\r\nContent-Length: 314572800\r\n\r\n", 405, plain_body),
    ("a chunked POST", "POST / HTTP/1.1\r\nHost: {host}\r\nTransfer-Encoding: chunked\r\n\r\n", 405, chunked_body),
    ("a POST without a length", "POST /events HTTP/1.1\r\nHost: {host}\r\n\r\n", 405, plain_body),
    ("a PUT", "PUT /config.json HTTP/1.1\r\nHost: {host}\r\nContent-Length: 314572800\r\n\r\n", 405, plain_body),
    ("a GET with a body of 300 MB", "GET / HTTP/1.1\r\nHost: {host}\r\nContent-Length: 314572800\r\n\r\n", 413,
     plain_body),
    ("a GET with a chunked body", "GET / HTTP/1.1\r\nHost: {host}\r\nTransfer-Encoding: chunked\r\n\r\n", 413,
     chunked_body),
    ("a page", "GET / HTTP/1.1\r\nHost: {host}\r\n\r\n", 200, None),
    ("a page, lines ended by LF alone", "GET / HTTP/1.1\nHost: {host}\n\n", 200, None),
    ("a page, a header name in mixed case and a value in blanks", "GET / HTTP/1.1\r\nhOsT:\t {host} \r\n\r\n", 200, None),
    ("a page with a body of 0 bytes", "GET / HTTP/1.1\r\nHost: {host}\r\nContent-Length: 0\r\n\r\n", 200, None),
    ("a page with 49 more header lines", "GET / HTTP/1.1\r\nHost: {host}\r\n" + many_lines(49) + "\r\n", 200, None),
    ("HTTP/1.0 without a host", "GET / HTTP/1.0\r\n\r\n", 404, None),
    ("a host without the port", "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404, None),
    ("HTTP/1.1 without a host", "GET / HTTP/1.1\r\n\r\n", 400, None),
    ("two hosts", "GET / HTTP/1.1\r\nHost: {host}\r\nHost: {host}\r\n\r\n", 400, None),
    ("HEAD", "HEAD / HTTP/1.1\r\nHost: {host}\r\n\r\n", 405, None),
    ("a method in lower case", "get / HTTP/1.1\r\nHost: {host}\r\n\r\n", 405, None),
    ("HTTP/2.0", "GET / HTTP/2.0\r\nHost: {host}\r\n\r\n", 505, None),
    ("no version", "GET /\r\n\r\n", 400, None),
    ("an absolute target", "GET http://{host}/ HTTP/1.1\r\nHost: {host}\r\n\r\n", 400, None),
    ("a folded header line", "GET / HTTP/1.1\r\nHost: {host}\r\nX-A: a\r\n b\r\n\r\n", 400, None),
    ("a CR inside a line", "GET / HTTP/1.1\r\nHost: {host}\r\nX-A: a\rb\r\n\r\n", 400, None),
    ("a header without a colon", "GET / HTTP/1.1\r\nHost: {host}\r\nX-A\r\n\r\n", 400, None),
    ("a length that is no number", "GET / HTTP/1.1\r\nHost: {host}\r\nContent-Length: 1e3\r\n\r\n", 400, None),
    ("51 header lines", "GET / HTTP/1.1\r\nHost: {host}\r\n" + many_lines(50) + "\r\n", 431, None),
    ("a header line of 9 KiB", "GET / HTTP/1.1\r\nHost: {host}\r\nX-A: " + "a" * 9216 + "\r\n\r\n", 431, None),
    ("a target of 9 KiB", "GET /" + "a" * 9216 + " HTTP/1.1\r\nHost: {host}\r\n\r\n", 414, None),
]


def heads_answered(arguments, out):
    serve = Serve(arguments.herald, arguments.source, os.path.join(out, "heads"))
    try:
        for what, head, status, body in HEADS:
            client = Client(serve.port)
            started = time.monotonic()
            client.send(head.format(host=serve.host()).encode() + (body(64 * 1024) if body else b""))
            answered, headers = client.head(3.0)
            took = time.monotonic() - started
            expect(answered == status and took < 1.0,
                   "%s is answered %d at once, not %s after %.2f s" % (what, status, answered, took))
            expect(headers.get("connection") == "close", "%s: the connection closes after the answer" % what)
            _, ended = client.rest(3.0)
            expect(ended, "%s: herald closes the connection" % what)
            if body:
                # Herald does not read the rest, so the connection fails once
                # the sockets' buffers are full, long before 300 MB.
                expect_cut_off(what, client, flood(client, body(MIB), 300 * MIB))
            client.close()
    finally:
        serve.stop()


def slow_heads_cut_off(arguments, out):
    serve = Serve(arguments.herald, arguments.source, os.path.join(out, "slow-heads"))
    trickler = Trickler(serve.port, 0.1)
    idle = Client(serve.port)
    try:
        started = time.monotonic()
        trickler.start()
        status, _ = trickler.client.head(5.0)
        took = time.monotonic() - started
        expect(status == 408 and took < 3.0,
               "a head that trickles in is cut off with 408 after about 2 s, not %s after %.2f s" % (status, took))
        said, ended = idle.rest(5.0)
        took = time.monotonic() - started
        expect(said == b"" and ended and took < 3.0,
               "a connection that sends nothing is closed, silently, after about 2 s, not %r after %.2f s"
               % (said[:40], took))
    finally:
        trickler.stop()
        idle.close()
        serve.stop()


STREAMS = 32


def as_many_pages_as_allowed(arguments, out):
    serve = Serve(arguments.herald, arguments.source, os.path.join(out, "pages"))
    streams = []
    try:
        version = harness.page_version(harness.get(serve.port)[2])
        for _ in range(STREAMS):
            stream, status = harness.open_stream(serve.port, version)
            streams.append(stream)
            if status != 200:
                break
        expect(len(streams) == STREAMS and status == 200, "%d pages are followed at once, not %d"
               % (STREAMS, len(streams) - (status != 200)))

        started = time.monotonic()
        status, _, body = harness.get(serve.port)
        took = time.monotonic() - started
        expect(status == 200 and harness.page_version(body) == version and took < 1.0,
               "with %d pages open the page is served within a second: %s after %.2f s" % (STREAMS, status, took))

        started = time.monotonic()
        extra, status = harness.open_stream(serve.port, version)
        took = time.monotonic() - started
        expect(status == 503 and took < 1.0, "one page more is refused at once: %s after %.2f s" % (status, took))
        _, ended = extra.rest(3.0)
        expect(ended, "the page refused is not kept waiting")
        extra.close()

        serve.save(serve.edited("White supply crate (level 3)", "Linen supply crate (level 3)"))
        told = sum(stream.until(b"event: page", 5.0) is not None for stream in streams)
        expect(told == STREAMS, "every one of %d open pages is told of a save: %d are" % (STREAMS, told))

        streams.pop().close()
        started = time.monotonic()

        def another_page():
            stream, status = harness.open_stream(serve.port, version, 1.0)
            if status == 200:
                streams.append(stream)
                return True
            stream.close()
            return False

        accepted = wait_for(another_page, 1.0)
        took = time.monotonic() - started
        expect(accepted and took < 1.0, "a page closed frees its place within a second: %s after %.2f s"
               % ("taken" if accepted else "not taken", took))
    finally:
        for stream in streams:
            stream.close()
        serve.stop()


CASES = [second_server_on_the_same_port, stop_whatever_the_clients_do, endless_heads_cut_off, heads_answered,
         slow_heads_cut_off, as_many_pages_as_allowed]


def main():
    arguments, _, out = harness.arguments(chromium=False, extra=(("rss-limit-mb", None),))
    for case in CASES:
        print("-- " + case.__name__)
        case(arguments, out)
    harness.finish("herald preview --serve holds to its bounds")


if __name__ == "__main__":
    main()
