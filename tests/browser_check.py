#!/usr/bin/env python3
"""Opens each HTML page named in headless Chromium, driven over its DevTools pipe (no package
beyond python3), and fails on a console error, an uncaught exception, a failed load, any request
other than the page itself, or a screenshot of one colour."""
import base64
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zlib

CHROMIUM = "/usr/bin/chromium"


def fail(message):
    print("browser_check: " + message, file=sys.stderr)
    sys.exit(1)


class DevTools:
    """The protocol over --remote-debugging-pipe: JSON messages ended by NUL, ours on fd 3."""

    def __init__(self, to_browser, from_browser):
        self.out, self.inp, self.last, self.buffer, self.events = to_browser, from_browser, 0, b"", []

    def read(self):
        while b"\0" not in self.buffer:
            chunk = os.read(self.inp, 1 << 16)
            if not chunk:
                fail("chromium closed its pipe")
            self.buffer += chunk
        text, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(text)

    def until(self, match):
        while True:
            message = self.read()
            if match(message):
                return message
            self.events.append(message)

    def call(self, method, params=None, session=None):
        self.last += 1
        message = {"id": self.last, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.out, json.dumps(message).encode() + b"\0")
        reply = self.until(lambda m: m.get("id") == self.last)
        if "error" in reply:
            fail("%s: %s" % (method, reply["error"]))
        return reply["result"]


def colours(png):
    """The distinct colours of an 8-bit RGB or RGBA PNG, unfiltered by hand."""
    position, data = 8, b""
    while position < len(png):
        length = int.from_bytes(png[position:position + 4], "big")
        kind, body = png[position + 4:position + 8], png[position + 8:position + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = (int.from_bytes(body[0:4], "big"),
                                            int.from_bytes(body[4:8], "big"), body[8], body[9])
        elif kind == b"IDAT":
            data += body
        position += 12 + length
    if depth != 8 or colour not in (2, 6):
        fail("a screenshot in a PNG form this check does not read")
    size = 3 if colour == 2 else 4
    raw, stride, previous, seen = zlib.decompress(data), width * size, bytearray(width * size), set()
    for row in range(height):
        start = row * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - size] if i >= size else 0
            b, c = previous[i], previous[i - size] if i >= size else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                near = a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else (
                    b if abs(p - b) <= abs(p - c) else c)
                line[i] = (line[i] + near) & 255
        seen.update(bytes(line[i:i + size]) for i in range(0, stride, size))
        previous = line
    return len(seen)


def problems_in(events, session, page):
    found = []
    for event in events:
        method, params = event.get("method", ""), event.get("params", {})
        if event.get("sessionId") != session:
            continue
        if method == "Runtime.consoleAPICalled" and params["type"] in ("error", "assert"):
            found.append("console error: %s" % [a.get("value") for a in params["args"]])
        elif method == "Runtime.exceptionThrown":
            found.append("exception: %s" % params["exceptionDetails"].get("text"))
        elif method == "Log.entryAdded" and params["entry"]["level"] == "error":
            found.append("logged error: %s" % params["entry"]["text"])
        elif method == "Network.loadingFailed":
            found.append("a load failed: %s" % params.get("errorText"))
        elif method == "Network.requestWillBeSent":
            url = params["request"]["url"]
            if url != page and not url.startswith("data:"):
                found.append("fetched " + url)
    return found


def main(pages):
    signal.alarm(240)
    # Chromium writes its profile, a lock socket in TMPDIR, crash reports under HOME: all here.
    scratch = tempfile.mkdtemp(prefix="readrace-browser-")
    profile = os.path.join(scratch, "profile")
    environment = dict(os.environ, HOME=scratch, TMPDIR=scratch,
                       XDG_CONFIG_HOME=os.path.join(scratch, "config"),
                       XDG_CACHE_HOME=os.path.join(scratch, "cache"))
    to_browser, commands = os.pipe()
    replies, from_browser = os.pipe()
    browser = subprocess.Popen(
        ["sh", "-c", 'exec "$@" 3<&%d 4>&%d' % (to_browser, from_browser), "sh", CHROMIUM,
         "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--user-data-dir=" + profile, "--remote-debugging-pipe", "about:blank"],
        pass_fds=(to_browser, from_browser), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        env=environment, start_new_session=True)
    os.close(to_browser)
    os.close(from_browser)
    try:
        tools = DevTools(commands, replies)
        target = tools.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = tools.call("Target.attachToTarget", {"targetId": target, "flatten": True})[
            "sessionId"]
        for domain in ("Page", "Runtime", "Log", "Network"):
            tools.call(domain + ".enable", session=session)
        tools.call("Emulation.setDeviceMetricsOverride",
                   {"width": 1000, "height": 800, "deviceScaleFactor": 1, "mobile": False},
                   session)
        for path in pages:
            page = "file://" + os.path.abspath(path)
            tools.events = []
            tools.call("Page.navigate", {"url": page}, session)
            tools.until(lambda m: m.get("method") == "Page.loadEventFired")
            height = tools.call("Runtime.evaluate",
                                {"expression": "document.documentElement.scrollHeight"},
                                session)["result"]["value"]
            shot = tools.call("Page.captureScreenshot",
                              {"format": "png", "captureBeyondViewport": True,
                               "clip": {"x": 0, "y": 0, "width": 1000,
                                        "height": min(height, 4000), "scale": 0.4}}, session)
            found = problems_in(tools.events, session, page)
            count = colours(base64.b64decode(shot["data"]))
            if count < 2:
                found.append("the screenshot is blank")
            if found:
                fail("%s: %s" % (path, "; ".join(found)))
            print("browser_check: %s: loaded clean, %d px high, %d colours in its screenshot"
                  % (path, height, count))
        tools.call("Browser.close")
        browser.wait(timeout=30)
    finally:
        if browser.poll() is None:
            browser.kill()
            browser.wait()
        # Its helper processes, in the session it began, may outlive it and still write there.
        try:
            os.killpg(browser.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        time.sleep(0.5)
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1:])
