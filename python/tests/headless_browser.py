"""A minimal DevTools-protocol client for Debian's headless Chromium.

The browser is driven over --remote-debugging-pipe: commands go to its file
descriptor 3 and replies come from its descriptor 4, each a JSON message
ended by a NUL byte. No network port is opened and nothing is downloaded.
"""

import base64
import fcntl
import json
import os
import select
import shutil
import subprocess
import tempfile
import time

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-dev-shm-usage", "--remote-debugging-pipe"]


def find_chromium():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    return None


class BrowserError(RuntimeError):
    pass


class HeadlessChromium:
    """One headless browser with one page. Use as a context manager."""

    def __init__(self, executable=None, timeout=60.0):
        self.executable = executable or find_chromium()
        if not self.executable:
            raise BrowserError("chromium not found")
        self.timeout = timeout
        self._next_id = 0
        self._buffer = b""
        self._events = []

    def __enter__(self):
        self._profile = tempfile.mkdtemp(prefix="dukon-chromium-")
        to_browser_r, to_browser_w = os.pipe()
        from_browser_r, from_browser_w = os.pipe()
        # High descriptor numbers, so that the dup2 below cannot overwrite one
        # with the other.
        child_in = fcntl.fcntl(to_browser_r, fcntl.F_DUPFD, 10)
        child_out = fcntl.fcntl(from_browser_w, fcntl.F_DUPFD, 10)
        os.close(to_browser_r)
        os.close(from_browser_w)

        def wire_pipes():
            os.dup2(child_in, 3)
            os.dup2(child_out, 4)

        self._log = open(os.path.join(self._profile, "browser.log"), "wb")
        self.process = subprocess.Popen(
            [self.executable, *FLAGS, f"--user-data-dir={self._profile}", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=self._log, stderr=self._log,
            preexec_fn=wire_pipes, close_fds=False)
        os.close(child_in)
        os.close(child_out)
        self._write, self._read = to_browser_w, from_browser_r
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget",
                                 {"targetId": target, "flatten": True})["sessionId"]
        self.call("Page.enable", session=self.session)
        return self

    def __exit__(self, *exc):
        try:
            self.call("Browser.close", timeout=10)
        except (BrowserError, OSError):
            pass
        try:
            self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        for fd in (self._write, self._read):
            os.close(fd)
        self._log.close()
        shutil.rmtree(self._profile, ignore_errors=True)

    def _receive(self, deadline):
        while b"\0" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise BrowserError("browser did not answer in time")
            ready, _, _ = select.select([self._read], [], [], left)
            if ready:
                chunk = os.read(self._read, 1 << 20)
                if not chunk:
                    raise BrowserError("browser closed the pipe")
                self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, session=None, timeout=None):
        """Sends one command and returns its result; events that arrive in
        between are kept for wait_event."""
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self._write, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + (timeout or self.timeout)
        while True:
            reply = self._receive(deadline)
            if reply.get("id") == self._next_id:
                if "error" in reply:
                    raise BrowserError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            self._events.append(reply)

    def wait_event(self, method, timeout=None):
        deadline = time.monotonic() + (timeout or self.timeout)
        while True:
            for i, event in enumerate(self._events):
                if event.get("method") == method:
                    return self._events.pop(i)
            self._events.append(self._receive(deadline))

    def open(self, url, width=1280, height=1000):
        """Loads `url` in a window of the given size and waits for its load
        event."""
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False},
                  session=self.session)
        self._events.clear()
        result = self.call("Page.navigate", {"url": url}, session=self.session)
        if result.get("errorText"):
            raise BrowserError(f"cannot load {url}: {result['errorText']}")
        self.wait_event("Page.loadEventFired")

    def evaluate(self, expression):
        """The value of a JavaScript expression in the page (JSON types)."""
        result = self.call("Runtime.evaluate",
                           {"expression": expression, "returnByValue": True,
                            "awaitPromise": True}, session=self.session)
        if "exceptionDetails" in result:
            raise BrowserError(f"script failed: {result['exceptionDetails']}")
        return result["result"].get("value")

    def screenshot(self):
        """PNG bytes of the visible part of the page."""
        data = self.call("Page.captureScreenshot", {"format": "png"}, session=self.session)
        return base64.b64decode(data["data"])
