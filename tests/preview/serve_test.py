#!/usr/bin/env python3
"""herald preview --serve, in a real browser and by hand.

Each case starts `herald preview CONFIG --serve --port 0` on a copy of the
example configuration in a folder of its own (TMPDIR too, so that a folder
left behind is seen). The browser cases drive headless Chromium over its
DevTools protocol on a pipe: the page is opened once and never reloaded, the
config is saved on disk, and the page must show the new result. Screenshots of
before and after stay in the output folder:

    BUILD/preview-serve/before.png, BUILD/preview-serve/after.png

    serve_test.py --herald PATH --chromium PATH --source DIR --out DIR
"""

import base64
import json
import os
import signal
import socket
import subprocess
import sys
import time
import urllib.error
import urllib.request

import harness
from harness import Serve, expect, wait_for


class Browser:
    """Headless Chromium, spoken to over --remote-debugging-pipe."""

    def __init__(self, chromium, profile):
        ours_to_browser, browser_reads = os.pipe()[::-1]
        browser_writes_r, browser_writes = os.pipe()
        self.reader, self.writer = browser_writes_r, ours_to_browser

        command = [chromium, "--headless", "--disable-gpu", "--hide-scrollbars", "--no-first-run",
                   "--remote-debugging-pipe", "--user-data-dir=" + profile, "--window-size=1280,800", "about:blank"]
        if os.geteuid() == 0:
            command.append("--no-sandbox")  # Chromium refuses to run as root with its sandbox
        # The protocol is read from descriptor 3 and written to 4.
        shell = 'exec "$@" 3<&%d 4>&%d' % (browser_reads, browser_writes)
        self.process = subprocess.Popen(["sh", "-c", shell, "sh"] + command, pass_fds=(browser_reads, browser_writes),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(browser_reads)
        os.close(browser_writes)
        self.buffer = b""
        self.next_id = 0
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]

    def call(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.writer, json.dumps(message).encode() + b"\0")
        while True:
            while b"\0" not in self.buffer:
                chunk = os.read(self.reader, 1 << 20)
                if not chunk:
                    sys.exit("chromium went away during " + method)
                self.buffer += chunk
            raw, self.buffer = self.buffer.split(b"\0", 1)
            reply = json.loads(raw)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    sys.exit("chromium: %s: %s" % (method, reply["error"]))
                return reply["result"]

    def page(self, method, params=None):
        return self.call(method, params, self.session)

    def evaluate(self, expression):
        return self.page("Runtime.evaluate", {"expression": expression, "returnByValue": True})["result"].get("value")

    def open(self, url):
        self.page("Page.navigate", {"url": url})
        wait_for(lambda: self.evaluate("document.readyState") == "complete")

    def text(self):
        return self.evaluate("document.body.innerText") or ""

    def screenshot(self, path):
        data = base64.b64decode(self.page("Page.captureScreenshot", {"format": "png"})["data"])
        with open(path, "wb") as picture:
            picture.write(data)
        expect(data[:8] == b"\x89PNG\r\n\x1a\n", path + " is a PNG")
        print("screenshot: " + path)

    def close(self):
        self.process.kill()
        self.process.wait()


# ---- The cases ---------------------------------------------------------------

def page_follows_a_save(serve, browser, out):
    browser.open(serve.url())
    expect("White supply crate (level 3) dropped at 50.0 / 50.0" in browser.text(),
           "the served page shows the example's announcements")
    expect("SkyCrateHerald.Test KEY [X Y]" in browser.text(), "the served page names the test command")
    browser.screenshot(os.path.join(out, "before.png"))
    # Beside the browser, a stream of the same page, to weigh what a save sends.
    shown_version = browser.evaluate("document.querySelector('meta[name=\"herald-version\"]').content")
    stream, status = harness.open_stream(serve.port, shown_version)
    expect(status == 200, "a second stream of the page is served")
    fetches = "performance.getEntriesByType('resource').filter((entry) => entry.initiatorType === 'fetch').length"
    # A reload would lose both the mark and the scroll position.
    browser.evaluate("window.heraldMark = 'kept'; window.scrollTo(0, 300); window.scrollY")
    serve.save(serve.edited("White supply crate (level 3)", "Ivory supply crate (level 3)"))
    shown = wait_for(lambda: "Ivory supply crate (level 3) dropped at 50.0 / 50.0" in browser.text(), 1.5)
    expect(shown, "the page shows the saved change within a second and a half of the save")
    expect("White supply crate" not in browser.text(), "the page no longer shows the old text")
    expect(browser.evaluate("window.heraldMark") == "kept", "the page changed without a reload")
    expect(browser.evaluate("window.scrollY") == 300, "the page kept its scroll position")
    expect(browser.evaluate(fetches) == 1, "the page fetched the new page once, not %s times"
           % browser.evaluate(fetches))
    # The stream says what changed, not the page itself: the page is fetched
    # once, so a big one is not sent whole in every event to every page.
    sent = stream.until(b"event: page", 2.0) or b""
    sent += stream.until(b"\n\n", 2.0) or b""
    stream.close()
    page_bytes = len(harness.get(serve.port)[2])
    expect(b"event: page" in sent and len(sent) < 256,
           "a save sends each stream %d bytes, not the page (%d bytes)" % (len(sent), page_bytes))
    browser.evaluate("window.scrollTo(0, 0)")
    browser.screenshot(os.path.join(out, "after.png"))
    expect(serve.rules() == 2, "one save, one more preview printed under a rule")


def spoilt_file_then_mended(serve, browser, out):
    browser.open(serve.url())
    with open(serve.config, encoding="utf-8") as file:
        original = file.read()
    broken = original.replace('"Items": {', '"Items": {,')
    # How the file is spoilt, what the page then says, and what the text
    # output says under its rule (None: not checked).
    spoilt = [
        ("a broken save", lambda: serve.save(broken), "herald check: 1 error", ": 1 error, 0 warnings"),
        ("a file gone", lambda: os.remove(serve.config), "can't open", None),
    ]
    for (what, spoil, page_says, output_says), name in zip(spoilt, ("Snow", "Frost")):
        spoil()
        expect(wait_for(lambda: page_says in browser.text(), 1.5), what + " shows check's verdict on the page")
        expect("dropped at" not in browser.text(), what + " shows no earlier result")
        if output_says:
            expect(output_says in serve.output.split("====")[-1], what + ": the text output gives check's findings")
        serve.save(original.replace("White supply crate (level 3)", name + " supply crate (level 3)"))
        expect(wait_for(lambda: name + " supply crate (level 3) dropped at 50.0 / 50.0" in browser.text(), 1.5),
               what + ", then a good save: its result is shown")
        expect(page_says not in browser.text(), what + ", then a good save: the spoilt file's verdict is gone")


def editor_save_lands_once(serve, browser, out):
    # An editor's save in steps: the old file moved aside, the new one
    # written beside it in two writes, then renamed into place. Each step
    # lasts longer than a poll of the file, so an undebounced watcher would
    # preview the missing file and the new one.
    # A busy machine may stretch the steps; each try saves a name of its own.
    with open(serve.config, encoding="utf-8") as file:
        original = file.read()
    assert "White supply crate (level 3)" in original
    for name in ("Pearl", "Opal", "Amber"):
        new = original.replace("White supply crate (level 3)", name + " supply crate (level 3)")
        before = serve.rules()
        started = time.monotonic()
        os.replace(serve.config, serve.config + "~")
        time.sleep(0.04)
        with open(serve.config + ".new", "w", encoding="utf-8") as file:
            file.write(new[:100])
            file.flush()
            time.sleep(0.04)
            file.write(new[100:])
        os.replace(serve.config + ".new", serve.config)
        took = time.monotonic() - started
        wait_for(lambda: serve.rules() > before, 2.0)
        time.sleep(0.5)  # a second preview, if any, would come in this time
        if took < 0.09:  # the steps were closer than the quiet time, as an editor's are
            expect(serve.rules() == before + 1, "a save in three steps is previewed once, not %d times"
                   % (serve.rules() - before))
            expect(name + " supply crate (level 3) dropped" in serve.output.split("====")[-1],
                   "the one preview is of the saved file")
            return
    expect(False, "the machine was too busy to save in steps closer than the quiet time")


def only_the_page_and_its_stream(serve, browser, out):
    def status(path, host=None):
        request = urllib.request.Request(serve.url(path), method="GET")
        if host:
            request.add_header("Host", host)
        try:
            with urllib.request.urlopen(request, timeout=10) as response:
                return response.status, response.headers.get("Content-Type", "")
        except urllib.error.HTTPError as error:
            return error.code, ""

    expect(status("/") == (200, "text/html; charset=utf-8"), "/ is the page")
    for path in ("/index.html", "/config.json", "/events/../config.json", "/favicon.ico", "/../"):
        expect(status(path)[0] == 404, path + " is not found")
    expect(status("/", "example.com")[0] == 404, "a request for another host name is not answered")
    expect(status("/", "localhost:%d" % serve.port)[0] == 200, "localhost is answered")
    bound = [line for line in open("/proc/net/tcp").read().splitlines()[1:]
             if line.split()[1].endswith(":%04X" % serve.port) and line.split()[3] == "0A"]
    expect([line.split()[1] for line in bound] == ["0100007F:%04X" % serve.port],
           "herald listens on 127.0.0.1 alone: %s" % bound)


def ctrl_c_leaves_nothing(serve, browser, out):
    browser.open(serve.url())  # an open stream does not hold it up
    code = serve.stop(signal.SIGINT)
    expect(code == -signal.SIGINT, "Ctrl-C ends herald by its signal, not %s" % code)
    expect(os.listdir(serve.tmp) == [], "no temporary folder is left: %s" % os.listdir(serve.tmp))
    expect(serve.process.stderr.read() == "", "nothing is said on stopping")


CASES = [page_follows_a_save, spoilt_file_then_mended, editor_save_lands_once,
         only_the_page_and_its_stream, ctrl_c_leaves_nothing]


def port_in_use(herald, source):
    taken = socket.socket()
    taken.bind(("127.0.0.1", 0))
    taken.listen()
    port = taken.getsockname()[1]
    config = os.path.join(source, "examples", "config.json")
    result = subprocess.run([herald, "preview", config, "--serve", "--port", str(port)], capture_output=True,
                            text=True, timeout=60)
    expect(result.returncode == 2, "a port in use: exit 2, not %d" % result.returncode)
    expect(result.stdout == "", "a port in use: nothing on standard output")
    expect(result.stderr == "herald: can't listen on 127.0.0.1:%d: the port is in use or not allowed (--port picks "
           "another, --port 0 a free one)\n" % port, "a port in use: one line: " + result.stderr)
    taken.close()


def main():
    arguments, chromium, out = harness.arguments()
    browser = Browser(chromium, os.path.join(out, "chromium-profile"))
    try:
        for case in CASES:
            print("-- " + case.__name__)
            serve = Serve(arguments.herald, arguments.source, os.path.join(out, case.__name__))
            try:
                case(serve, browser, out)
            finally:
                if serve.process.poll() is None:
                    serve.stop()
        print("-- port_in_use")
        port_in_use(arguments.herald, arguments.source)
    finally:
        browser.close()
    harness.finish("herald preview --serve does what it should")


if __name__ == "__main__":
    main()
