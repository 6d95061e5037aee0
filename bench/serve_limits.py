#!/usr/bin/env python3
"""herald preview --serve's bounds as measured, and its memory with open pages.

The bounds, on examples/config.json: how many event streams herald follows
before it refuses one, how long the page takes with all of them open, how soon
a stream beyond them is refused and a closed one is let go, how long a head
that trickles in is waited for, how long Ctrl-C and SIGTERM take with hostile
clients open, and what herald takes of, and how its memory grows under, a
body and a head that never end.

The memory, on a generated configuration of about 15 MB: herald's resident
memory while the file is saved again and again with no page open, and with
7 pages open, each following as the served page's script does (on every page
event, one fetch of the page); and its resident memory once idle after the
first preview and after the saves.

    serve_limits.py --herald build/bin/herald --source . [--entries 60000] [--saves 3] [--pages 7]
"""

import argparse
import json
import os
import re
import signal
import statistics
import sys
import tempfile
import threading
import time

MIB = 1 << 20


def load_helpers(source):
    global harness, generated_config
    sys.path.insert(0, os.path.join(source, "tests", "preview"))
    sys.path.insert(0, os.path.join(source, "bench"))
    import harness  # noqa: E402  the tests' client and served preview
    from serve_latency import generated_config  # noqa: E402


class Sampler(threading.Thread):
    """herald's resident memory every 5 ms; the most seen."""

    def __init__(self, serve):
        super().__init__(daemon=True)
        self.serve = serve
        self.most = 0
        self.stopped = threading.Event()

    def run(self):
        while not self.stopped.is_set():
            try:
                self.most = max(self.most, self.serve.rss_kib()[0])
            except (OSError, KeyError):
                return
            time.sleep(0.005)

    def stop(self):
        self.stopped.set()
        self.join()
        return self.most


def serve_example(arguments, folder, name):
    return harness.Serve(arguments.herald, arguments.source, os.path.join(folder, name))


def bounds(arguments, folder):
    serve = serve_example(arguments, folder, "streams")
    streams = []
    try:
        version = harness.page_version(harness.get(serve.port)[2])
        refused, refused_after = None, 0.0
        for _ in range(200):
            started = time.monotonic()
            stream, status = harness.open_stream(serve.port, version)
            if status != 200:
                refused, refused_after = status, time.monotonic() - started
                stream.close()
                break
            streams.append(stream)
        print("streams followed at once: %d; the next one answered %s after %.1f ms"
              % (len(streams), refused, refused_after * 1000))
        times = []
        for _ in range(10):
            started = time.monotonic()
            status, _, body = harness.get(serve.port)
            times.append(time.monotonic() - started)
        print("GET / with %d streams open: median %.1f ms, slowest %.1f ms (%d bytes, 10 requests)"
              % (len(streams), statistics.median(times) * 1000, max(times) * 1000, len(body)))
        streams.pop().close()
        started = time.monotonic()
        while True:
            stream, status = harness.open_stream(serve.port, version)
            if status == 200:
                streams.append(stream)
                break
            stream.close()
        print("a closed stream let go: a new one taken %.1f ms after the close" % ((time.monotonic() - started) * 1000))
    finally:
        for stream in streams:
            stream.close()
        serve.stop()

    serve = serve_example(arguments, folder, "slow")
    try:
        client = harness.Client(serve.port)
        started = time.monotonic()
        client.send(b"GET / HTTP/1.1\r\n")
        stop = threading.Event()

        def trickle():
            while not stop.wait(0.1) and client.send(b"X: y\r\n"):
                pass

        threading.Thread(target=trickle, daemon=True).start()
        status, _ = client.head(10.0)
        print("a head that trickles in (a line every 100 ms): answered %s after %.2f s"
              % (status, time.monotonic() - started))
        stop.set()
        client.close()
        idle = harness.Client(serve.port)
        started = time.monotonic()
        idle.rest(10.0)
        print("a connection that sends nothing: closed after %.2f s" % (time.monotonic() - started))
        idle.close()
    finally:
        serve.stop()

    for how in (signal.SIGINT, signal.SIGTERM):
        serve = serve_example(arguments, folder, "stop")
        client = harness.Client(serve.port)
        client.send(b"GET / HTTP/1.1\r\n")
        idle = harness.Client(serve.port)
        stream, _ = harness.open_stream(serve.port, "older")
        stop = threading.Event()

        def trickle():
            while not stop.wait(0.2) and client.send(b"X: y\r\n"):
                pass

        threading.Thread(target=trickle, daemon=True).start()
        time.sleep(0.5)
        started = time.monotonic()
        code = serve.stop(how, seconds=10)
        print("%s with a trickling head, an idle connection and a stream open: herald ended after %.1f ms (%s), "
              "temporary folders left: %d" % (signal.Signals(how).name, (time.monotonic() - started) * 1000, code,
                                               len(os.listdir(serve.tmp))))
        stop.set()
        for each in (client, idle, stream):
            each.close()

    floods = [
        ("a POST announcing 300 MB", b"POST / HTTP/1.1\r\nHost: {host}\r\nContent-Length: 314572800\r\n\r\n",
         b"x" * MIB, 300),
        ("a GET with a chunked body of 200 MB", b"GET / HTTP/1.1\r\nHost: {host}\r\nTransfer-Encoding: chunked\r\n\r\n",
         b"100000\r\n" + b"x" * MIB + b"\r\n", 200),
        ("100 MB of header lines", b"GET / HTTP/1.1\r\nHost: {host}\r\n", b"X-Filler: " + b"a" * 100 + b"\r\n", 100),
    ]
    serve = serve_example(arguments, folder, "floods")
    try:
        for what, start, unit, megabytes in floods:
            before = serve.rss_kib()[0]
            sampler = Sampler(serve)
            sampler.start()
            client = harness.Client(serve.port)
            piece = unit * max(1, MIB // len(unit))
            sent = 0
            client.send(start.replace(b"{host}", serve.host().encode()))
            while sent < megabytes * MIB and client.send(piece):
                sent += len(piece)
            client.close()
            time.sleep(0.1)
            most = sampler.stop()
            print("%s: the connection cut after %.1f MiB sent (%s); resident memory %.1f MiB before, at most %.1f MiB"
                  % (what, sent / MIB, client.failure or "all sent", before / 1024, most / 1024))
    finally:
        serve.stop()


class Page(threading.Thread):
    """An open page: fetches the page, follows the stream, and on every page
    event fetches the page once, as the served script does."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.port = port
        self.fetched = 0
        self.updates = 0
        self.event_bytes = 0
        self.stopped = False

    def run(self):
        body = harness.get(self.port, seconds=60)[2]
        self.fetched += len(body)
        stream, _ = harness.open_stream(self.port, harness.page_version(body))
        self.stream = stream
        while not self.stopped:
            event = stream.until(b"\n\n", 1.0)
            if event is None:
                if stream.ended:
                    return
                continue
            self.event_bytes += len(event)
            if event.startswith(b"event: page"):
                # An event that carries the page itself (as herald's earlier
                # server sent it) needs no fetch.
                if len(event) < 4096:
                    self.fetched += len(harness.get(self.port, seconds=60)[2])
                self.updates += 1

    def stop(self):
        self.stopped = True
        self.join()
        self.stream.close()


def idle_rss(serve):
    """Resident memory once herald has been still for a second."""
    time.sleep(1.0)
    return serve.rss_kib()[0]


def memory(arguments, folder, config, pages):
    serve = harness.Serve(arguments.herald, arguments.source, os.path.join(folder, "memory-%d" % pages), config=config)
    try:
        harness.wait_for(lambda: serve.previews_done() == 1, 120)
        first_idle = idle_rss(serve)
        page_bytes = len(harness.get(serve.port, seconds=60)[2])
        followers = [Page(serve.port) for _ in range(pages)]
        for follower in followers:
            follower.start()
        harness.wait_for(lambda: all(hasattr(follower, "stream") for follower in followers), 60)
        sampler = Sampler(serve)
        sampler.start()
        with open(config, encoding="utf-8") as file:
            text = file.read()
        for save in range(arguments.saves):
            before = serve.previews_done()
            serve.save(text.replace("dropped", "dropped (save %d)" % save, 1))
            harness.wait_for(lambda: serve.previews_done() > before, 120)
            harness.wait_for(lambda: all(follower.updates > save for follower in followers), 120)
        during = sampler.stop()
        for follower in followers:
            follower.stop()
        after_idle = idle_rss(serve)
        peak = serve.rss_kib()[1]
        sent = [follower.event_bytes / max(1, arguments.saves) for follower in followers]
        return {"first_idle": first_idle, "during": during, "after_idle": after_idle, "peak": peak,
                "page": page_bytes, "event_bytes": max(sent) if sent else 0,
                "fetched": max((f.fetched for f in followers), default=0)}
    finally:
        serve.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--herald", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--entries", type=int, default=60000)
    parser.add_argument("--saves", type=int, default=3)
    parser.add_argument("--pages", type=int, default=7)
    parser.add_argument("--only", choices=("bounds", "memory"))
    arguments = parser.parse_args()
    arguments.herald = os.path.abspath(arguments.herald)
    arguments.source = os.path.abspath(arguments.source)
    load_helpers(arguments.source)
    folder = tempfile.mkdtemp(prefix="herald-serve-limits-")

    if arguments.only != "memory":
        print("== bounds (examples/config.json)")
        bounds(arguments, folder)

    if arguments.only != "bounds":
        config = os.path.join(folder, "big.json")
        with open(config, "w", encoding="utf-8") as file:
            json.dump(generated_config(arguments.entries), file, indent=2)
        print("== memory (%d generated entries, %.1f MB of config; %d saves)"
              % (arguments.entries, os.path.getsize(config) / 1e6, arguments.saves))
        results = {}
        for pages in (0, arguments.pages):
            results[pages] = measured = memory(arguments, folder, config, pages)
            print("%d open pages: page %.1f MB; resident memory idle after the first preview %.0f MiB, at most %.0f "
                  "MiB during the saves, idle after them %.0f MiB; peak of the process %.0f MiB"
                  % (pages, measured["page"] / 1e6, measured["first_idle"] / 1024, measured["during"] / 1024,
                     measured["after_idle"] / 1024, measured["peak"] / 1024))
            if pages:
                print("   each page was sent %.0f bytes of events per save and fetched %.1f MB in all"
                      % (measured["event_bytes"], measured["fetched"] / 1e6))
        none, some = results[0], results[arguments.pages]
        print("peak during saves, %d pages against none: %.2fx; idle after the saves against after the first "
              "preview: %.2fx (none), %.2fx (%d pages)"
              % (arguments.pages, some["during"] / none["during"], none["after_idle"] / none["first_idle"],
                 some["after_idle"] / some["first_idle"], arguments.pages))


if __name__ == "__main__":
    sys.exit(main())
