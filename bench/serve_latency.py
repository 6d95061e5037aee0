#!/usr/bin/env python3
"""How long from a save of config.json to the new page reaching an open page.

Starts `herald preview CONFIG --serve --port 0`, listens to its event stream
as an open page does, then saves the file again and again (one change to a
message each time) and times each save until the page event that follows it
has arrived and the page it announces has been fetched whole, as the page's
script fetches it. Two configurations: examples/config.json and one of 500
entries.

    serve_latency.py --herald build/bin/herald --source . [--saves 15]

Prints the median and the slowest time of each, in milliseconds.
"""

import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request


def generated_config(entries):
    colours = ["255,255,255", "0,128,255", "160,32,240", "255,0,0", "0,255,255"]
    items = {}
    for i in range(entries):
        items["SupplyCrate_Bench%03d_C" % i] = {
            "Name": "Bench crate %d" % i,
            "Notification": {"Type": "Notification", "Msg": "{Name} dropped at {Lat} / {Lon}",
                             "Time": 10, "Size": 1.2, "Color": colours[i % len(colours)]},
        }
    return {"EnableNests": True, "Items": items}


def events(stream):
    """(event type, id) for each event of a server-sent event stream."""
    kind, ident = "message", ""
    for raw in stream:
        line = raw.decode("utf-8").rstrip("\r\n")
        if not line:
            yield kind, ident
            kind, ident = "message", ""
        elif line.startswith("event:"):
            kind = line[6:].strip()
        elif line.startswith("id:"):
            ident = line[3:].strip()


def measure(herald, text, saves):
    folder = tempfile.mkdtemp(prefix="herald-serve-bench-")
    config = os.path.join(folder, "config.json")
    with open(config, "w", encoding="utf-8") as file:
        file.write(text)
    server = subprocess.Popen([herald, "preview", config, "--serve", "--port", "0"],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        port = re.search(r"127\.0\.0\.1:(\d+)/", server.stdout.readline()).group(1)
        # Each save's text goes on to a reader, as to a terminal.
        threading.Thread(target=server.stdout.read, daemon=True).start()
        stream = urllib.request.urlopen("http://127.0.0.1:%s/events?since=none" % port, timeout=30)
        received = events(stream)
        next(kind for kind, _ in received if kind == "page")  # the page as it is now
        times = []
        for save in range(saves):
            changed = text.replace("dropped", "dropped (save %d)" % save, 1)
            start = time.perf_counter()
            with open(config, "w", encoding="utf-8") as file:
                file.write(changed)
            next(kind for kind, _ in received if kind == "page")
            urllib.request.urlopen("http://127.0.0.1:%s/" % port, timeout=30).read()
            times.append((time.perf_counter() - start) * 1000.0)
            time.sleep(0.2)  # a person saves far less often
        return times
    finally:
        server.terminate()
        server.wait(timeout=30)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--herald", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--saves", type=int, default=15)
    arguments = parser.parse_args()
    with open(os.path.join(arguments.source, "examples", "config.json"), encoding="utf-8") as file:
        example = file.read()
    for name, text in (("examples/config.json", example),
                       ("500 generated entries", json.dumps(generated_config(500), indent=2))):
        times = measure(arguments.herald, text, arguments.saves)
        print("%-24s save to page: median %6.1f ms, slowest %6.1f ms (%d saves)"
              % (name, statistics.median(times), max(times), len(times)))


if __name__ == "__main__":
    sys.exit(main())
