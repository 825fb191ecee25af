#!/usr/bin/env python3
"""Drives the browser remote's page in headless Chromium, as a phone would use it, for the end-to-end tests.

Reads one command a line on standard input and answers each with one line on standard output; the first
line out is "ready" once the browser runs, or "unavailable: WHY" when Chromium or its driver is missing.
Every wait is bounded; a failed command answers "error: WHY" and the next command is read.

  open URL               loads a page (the socket it opens is recorded; see "sent")
  viewport W H           the phone's screen in CSS pixels (portrait 390 844, landscape 844 390)
  pad                    "W H": the touchpad's size in CSS pixels
  down X Y / move X Y / up   one finger on the touchpad, X and Y in CSS pixels from its top-left corner;
                         each event is given its own animation frame, so the page sends each move alone
  tap X Y                a finger's touch and lift there, as quickly as the browser takes them
  click SELECTOR         clicks an element
  type TEXT              types TEXT into the text field and sends it with the "Type" button
  sync                   asks for a snapshot ("Snapshot" button) and waits for it: the server handles a
                         socket's messages in order, so everything sent before has been carried out
  wait-state TEXT        waits until the status line starts with TEXT; answers the status line
  has SELECTOR           "yes" or "no"
  sent                   the messages the page sent since the last "sent", tab-separated; "opened N" before
                         them when N sockets opened
  foreign WS_URL         loads a page from another origin (a server of its own on 127.0.0.1) that opens a
                         socket to WS_URL and sends commands on it; answers "open" or "refused"
  shot PATH              saves a picture of the page (PNG)
  quit
"""

import http.server
import shutil
import sys
import tempfile
import threading
import time

STEP_TIMEOUT = 10  # seconds, for every wait inside one command

# Runs before the page's own script: records what the page sends and how many sockets opened.
RECORDER = """
(() => {
  window.__sent = [];
  window.__opened = 0;
  const send = WebSocket.prototype.send;
  WebSocket.prototype.send = function (m) { window.__sent.push(String(m)); return send.call(this, m); };
  const Native = WebSocket;
  window.WebSocket = class extends Native {
    constructor(...args) { super(...args); this.addEventListener("open", () => { window.__opened += 1; }); }
  };
})();
"""

# A page of another site that tries to use the server's socket with the right token.
FOREIGN_PAGE = """<!DOCTYPE html><html><head><title>waiting</title></head><body><script>
const ws = new WebSocket(decodeURIComponent(location.hash.slice(1)));
ws.onopen = () => { ws.send("m 300 200"); ws.send("mbl"); document.title = "open"; };
ws.onclose = () => { if (document.title !== "open") document.title = "refused"; };
</script></body></html>"""


class ForeignSite(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = FOREIGN_PAGE.encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def wait_for(condition, what):
    deadline = time.monotonic() + STEP_TIMEOUT
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError("timed out waiting for " + what)
        time.sleep(0.02)


class Phone:
    def __init__(self, driver):
        self.driver = driver
        self.touch = None  # the finger's last point in the viewport
        self.foreign = None
        driver.set_page_load_timeout(STEP_TIMEOUT * 2)
        driver.set_script_timeout(STEP_TIMEOUT)
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": RECORDER})
        self.viewport(390, 844)

    def viewport(self, width, height):
        self.driver.execute_cdp_cmd(
            "Emulation.setDeviceMetricsOverride",
            {"width": width, "height": height, "deviceScaleFactor": 2, "mobile": True,
             "screenOrientation": {"type": "portraitPrimary" if height >= width else "landscapePrimary",
                                   "angle": 0 if height >= width else 90}})
        self.driver.execute_cdp_cmd("Emulation.setTouchEmulationEnabled", {"enabled": True, "maxTouchPoints": 5})

    def frame(self):
        self.driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "requestAnimationFrame(() => requestAnimationFrame(() => done()));")

    def place(self, x, y):
        left, top = self.driver.execute_script(
            "const r = document.getElementById('pad').getBoundingClientRect(); return [r.left, r.top];")
        self.touch = {"x": left + x, "y": top + y, "id": 1}

    def finger(self, kind, x=None, y=None):
        if x is not None:
            self.place(x, y)
        points = [] if kind == "touchEnd" else [self.touch]
        self.driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": kind, "touchPoints": points})
        self.frame()
        return "ok"

    def tap(self, x, y):
        self.place(x, y)
        self.driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchStart", "touchPoints": [self.touch]})
        self.driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchEnd", "touchPoints": []})
        self.frame()
        return "ok"

    def sync(self):
        before = self.driver.execute_script("return document.getElementById('shot').src;")
        self.driver.find_element("id", "snap").click()
        wait_for(lambda: self.driver.execute_script("return document.getElementById('shot').src;") != before,
                 "the snapshot")
        return "ok"

    def foreign_page(self, ws_url):
        if self.foreign is None:
            self.foreign = http.server.ThreadingHTTPServer(("127.0.0.1", 0), ForeignSite)
            threading.Thread(target=self.foreign.serve_forever, daemon=True).start()
        port = self.foreign.server_address[1]
        self.driver.get("http://127.0.0.1:%d/#%s" % (port, ws_url))
        return wait_for(lambda: self.driver.title if self.driver.title in ("open", "refused") else None,
                        "the foreign page's socket")

    def run(self, line):
        name, _, rest = line.partition(" ")
        d = self.driver
        if name == "open":
            d.get(rest)
            return "ok"
        if name == "viewport":
            w, h = rest.split()
            self.viewport(int(w), int(h))
            return "ok"
        if name == "pad":
            w, h = d.execute_script(
                "const r = document.getElementById('pad').getBoundingClientRect(); return [r.width, r.height];")
            return "%g %g" % (w, h)
        if name in ("down", "move"):
            x, y = rest.split()
            return self.finger("touchStart" if name == "down" else "touchMove", float(x), float(y))
        if name == "up":
            return self.finger("touchEnd")
        if name == "tap":
            x, y = rest.split()
            return self.tap(float(x), float(y))
        if name == "click":
            d.find_element("css selector", rest).click()
            return "ok"
        if name == "type":
            field = d.find_element("id", "text")
            field.clear()
            field.send_keys(rest)
            d.find_element("id", "send").click()
            return "ok"
        if name == "sync":
            return self.sync()
        if name == "wait-state":
            state = lambda: d.execute_script("const s = document.getElementById('state'); return s && s.textContent;")
            wait_for(lambda: (state() or "").startswith(rest), "the status " + repr(rest))
            return state()
        if name == "has":
            return "yes" if d.find_elements("css selector", rest) else "no"
        if name == "sent":
            opened, sent = d.execute_script(
                "const r = [window.__opened || 0, window.__sent || []]; window.__sent = []; return r;")
            return "\t".join((["opened %d" % opened] if opened else []) + sent)
        if name == "foreign":
            return self.foreign_page(rest)
        if name == "shot":
            if not d.save_screenshot(rest):
                raise RuntimeError("no screenshot")
            return "ok"
        raise ValueError("unknown command " + repr(name))


def main():
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    chromedriver = shutil.which("chromedriver")
    if not chromium or not chromedriver:
        print("unavailable: %s not found" % ("chromium" if not chromium else "chromedriver"), flush=True)
        return 0
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    profile = tempfile.mkdtemp(prefix="fernpad-browser-")
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--no-first-run",
                "--disable-extensions", "--disable-background-networking", "--window-size=390,844",
                "--user-data-dir=" + profile):
        options.add_argument(arg)
    driver = None
    try:
        driver = webdriver.Chrome(service=Service(chromedriver), options=options)
        phone = Phone(driver)
        print("ready", flush=True)
        for line in sys.stdin:
            line = line.rstrip("\n")
            if line == "quit":
                break
            try:
                answer = phone.run(line)
            except Exception as e:  # one failed command, not the end of the session
                answer = "error: " + (str(e).splitlines() or [type(e).__name__])[0]
            print(str(answer).replace("\n", " "), flush=True)
    finally:
        if driver is not None:
            driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
