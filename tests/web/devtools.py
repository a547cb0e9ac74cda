"""A small client of the DevTools protocol for headless Chromium.

The browser talks over a pipe (--remote-debugging-pipe: it reads commands on
its descriptor 3 and writes on 4, one JSON message per NUL-terminated
record), so no WebSocket library is needed. One page target is opened and
driven through a flattened session.
"""
import base64
import json
import os
import subprocess
import tempfile
import threading
import time

CHROMIUM = "/usr/bin/chromium-headless-shell"
# SwiftShader gives WebGL 2 without a GPU; sound may start without a gesture.
CHROMIUM_FLAGS = [
    "--no-sandbox",
    "--use-angle=swiftshader",
    "--enable-unsafe-swiftshader",
    "--autoplay-policy=no-user-gesture-required",
    "--no-first-run",
    "--no-default-browser-check",
    "--disable-background-timer-throttling",
    "--disable-renderer-backgrounding",
    "--disable-backgrounding-occluded-windows",
]


class ProtocolError(Exception):
    pass


class Browser:
    """Starts headless Chromium with one page of width x height CSS pixels."""

    def __init__(self, width, height, extra_flags=()):
        self.profile = tempfile.TemporaryDirectory(prefix="intro-chromium-")
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()

        def wire_pipes():
            # Copied out of the way first: a pipe may already sit on 3 or 4,
            # and dup2 onto itself would leave it closed at exec.
            reading, writing = os.dup(to_browser_read), os.dup(from_browser_write)
            os.dup2(reading, 3)
            os.dup2(writing, 4)

        self.process = subprocess.Popen(
            [CHROMIUM, *CHROMIUM_FLAGS, *extra_flags, "--remote-debugging-pipe",
             f"--user-data-dir={self.profile.name}", f"--window-size={width},{height}", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=wire_pipes, close_fds=False)
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.next_id = 1
        self.results = {}
        self.events = []
        self.crashed_sessions = set()
        self.condition = threading.Condition()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        target = self.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            self.page(f"{domain}.enable")
        self.page("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=1,
                  mobile=False)

    def _read(self):
        pending = b""
        while True:
            chunk = os.read(self.from_browser, 1 << 16)
            if not chunk:
                break
            pending += chunk
            while b"\0" in pending:
                record, pending = pending.split(b"\0", 1)
                message = json.loads(record)
                with self.condition:
                    if "id" in message:
                        self.results[message["id"]] = message
                    else:
                        self.events.append(message)
                        if message.get("method") == "Inspector.targetCrashed":
                            self.crashed_sessions.add(message.get("sessionId"))
                    self.condition.notify_all()
        with self.condition:
            self.results[None] = {"error": {"message": "the browser closed its pipe"}}
            self.condition.notify_all()

    def call(self, method, session=None, timeout=60, **params):
        with self.condition:
            message_id = self.next_id
            self.next_id += 1
        message = {"id": message_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        with self.condition:
            while message_id not in self.results:
                if None in self.results:
                    raise ProtocolError(f"{method}: {self.results[None]['error']['message']}")
                # A crashed page never answers: say so rather than wait out the timeout.
                if session is not None and session in self.crashed_sessions:
                    raise ProtocolError(f"{method}: the page's renderer crashed")
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise ProtocolError(f"{method}: no answer within {timeout} s")
                self.condition.wait(remaining)
            reply = self.results.pop(message_id)
        if "error" in reply:
            raise ProtocolError(f"{method}: {reply['error'].get('message')}")
        return reply.get("result", {})

    def page(self, method, **params):
        return self.call(method, session=self.session, **params)

    def evaluate(self, expression, await_promise=False):
        """The value of a JavaScript expression in the page (JSON-serialisable)."""
        reply = self.page("Runtime.evaluate", expression=expression, returnByValue=True,
                          awaitPromise=await_promise)
        if "exceptionDetails" in reply:
            raise ProtocolError(f"{expression}: {reply['exceptionDetails'].get('text')} "
                                f"{reply['exceptionDetails'].get('exception', {}).get('description', '')}")
        return reply["result"].get("value")

    def wait_for(self, expression, within, what):
        """Polls a JavaScript expression until it is truthy; its value, or an error after `within` s.
        An expression that throws (the page not there yet) counts as not yet."""
        deadline = time.monotonic() + within
        while True:
            try:
                value = self.evaluate(expression)
                problem = None
            except ProtocolError as error:
                value, problem = None, error
            if value:
                return value
            if time.monotonic() > deadline:
                raise ProtocolError(f"not within {within} s: {what}" + (f" ({problem})" if problem else ""))
            time.sleep(0.05)

    def press(self, key, code, key_code):
        for kind in ("keyDown", "keyUp"):
            self.page("Input.dispatchKeyEvent", type=kind, key=key, code=code, windowsVirtualKeyCode=key_code,
                      nativeVirtualKeyCode=key_code)

    def click(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.page("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1)

    def screenshot_png(self):
        return base64.b64decode(self.page("Page.captureScreenshot", format="png")["data"])

    def problems(self):
        """Console errors, uncaught exceptions and error log entries so far."""
        found = []
        with self.condition:
            events = list(self.events)
        for event in events:
            method, params = event.get("method"), event.get("params", {})
            if method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
                found.append("console." + params["type"] + ": " +
                             " ".join(str(a.get("value", a.get("description", ""))) for a in params.get("args", [])))
            elif method == "Runtime.exceptionThrown":
                details = params.get("exceptionDetails", {})
                found.append("exception: " + details.get("exception", {}).get("description", details.get("text", "")))
            elif method == "Log.entryAdded" and params.get("entry", {}).get("level") == "error":
                found.append("log: " + params["entry"].get("text", ""))
        return found

    def console_lines(self):
        with self.condition:
            events = list(self.events)
        return [" ".join(str(a.get("value", a.get("description", ""))) for a in e["params"].get("args", []))
                for e in events if e.get("method") == "Runtime.consoleAPICalled"]

    def close(self):
        try:
            self.call("Browser.close", timeout=10)
        except ProtocolError:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.to_browser)
        self.profile.cleanup()

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()
