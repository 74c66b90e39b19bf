#!/usr/bin/env python3
"""The service's funnel report as headless Chromium renders it.

    report_browser_test.py wizard-run --build BUILD_TREE --wizard BRINDLE_EXE
        two scripted wizard runs under two campaign codes (the harness must be running), then
        the numbers of /report, read from the DOM, against what the runs did and reported
    report_browser_test.py hostile --scratch FOLDER
        a service of its own with an empty database: the empty page, and hostile texts in the
        query string, which stay text
"""
import argparse
import json
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.request
from html.parser import HTMLParser
from pathlib import Path
from urllib.parse import quote

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "harness"))
from browser import Browser  # noqa: E402
from harness import TIMEOUT_SCALE, windows_path  # noqa: E402

STAGES = ("judged", "rejected", "skipped", "shown", "accepted", "declined", "downloaded", "started", "failed",
          "closed")
PRODUCT_STAGES = ("started", "finished", "failed", "closed")
RATE_BASES = {"rejected": "judged", "skipped": "judged", "shown": "judged", "accepted": "shown",
              "declined": "shown", "closed": "shown", "downloaded": "accepted", "failed": "accepted",
              "started": "downloaded"}
HOSTILE = '"><script>document.title="INJECTED"</script><img src=x onerror="document.title=\'INJECTED\'">'
TITLE = "Brindle funnel report"


class Failed(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failed(message)


# ---------------------------------------------------------------------------
# Reading the rendered page


class RenderedReport(HTMLParser):
    """What the page shows: per campaign the product's and every offer's numbers, the reasons and
    failures; every element with its attributes; the text; the totals of the summary line."""

    def __init__(self, dom):
        super().__init__()
        self.campaigns = {}
        self.totals = {}
        self.elements = []
        self.text = []
        self.title = ""
        self._open = []
        self._campaign = self._row = self._stage = self._table = None
        self._cells = []
        self.feed(dom)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.elements.append((tag, attrs))
        self._open.append((tag, attrs))
        if tag == "section" and "data-campaign" in attrs:
            self._campaign = self.campaigns.setdefault(attrs["data-campaign"], {
                "product": {}, "offers": {}, "all": {}, "reasons": {}, "failures": {}})
        elif tag == "table":
            self._table = attrs.get("class")
        elif tag == "tr":
            self._row, self._cells = attrs, []
        elif tag == "td":
            self._stage = attrs.get("data-stage")
            self._cells.append("")

    def handle_endtag(self, tag):
        while self._open and self._open.pop()[0] != tag:
            pass
        if tag == "tr" and self._campaign is not None and self._table in ("reasons", "failures") and self._cells:
            # Reasons: offer, reason, kind, count; failures: package, text, count.
            key = tuple(self._cells[:-1]) if self._table == "reasons" else (self._row["data-offer"], self._cells[1])
            self._campaign[self._table][key] = int(self._cells[-1])
        elif tag == "section":
            self._campaign = None

    def handle_data(self, data):
        self.text.append(data)
        if any(tag == "title" for tag, _ in self._open):
            self.title += data
        if self._cells:
            self._cells[-1] += data
        tag, attrs = self._open[-1] if self._open else (None, {})
        if tag == "span" and "data-total" in attrs:
            self.totals[attrs["data-total"]] = int(data)
        if tag != "span" or self._campaign is None or self._stage is None:
            return
        cls = attrs.get("class")
        if "data-package" in self._row:
            target = self._campaign["product"]
        elif "data-offer-total" in self._row:
            target = self._campaign["all"]
        else:
            target = self._campaign["offers"].setdefault(self._row["data-offer"], {})
        if cls == "n":
            target[self._stage] = int(data)
        elif cls == "rate":
            target[self._stage + "%"] = data


def check_locked_down(page, hostile_texts):
    """No element or handler came from a text, and each hostile text shows as itself."""
    check(page.title == TITLE, f"the page's title became {page.title!r}")
    scripts = [(tag, attrs) for tag, attrs in page.elements if tag in ("script", "img", "iframe", "object")]
    check(not scripts, f"elements injected into the page: {scripts}")
    handlers = [(tag, name) for tag, attrs in page.elements for name in attrs if name.startswith("on")]
    check(not handlers, f"event handlers injected into the page: {handlers}")
    text = "".join(page.text)
    for hostile in hostile_texts:
        check(hostile in text, f"the text {hostile!r} is not shown as text")


# ---------------------------------------------------------------------------
# Service control


class Service:
    def __init__(self, base, ca):
        self.base = base
        self.context = ssl.create_default_context(cafile=str(ca))

    def call(self, route, body=None):
        request = urllib.request.Request(
            f"{self.base}/_control/{route}", method="GET" if body is None else "POST",
            data=None if body is None else json.dumps(body).encode(), headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, context=self.context, timeout=30) as answer:
            return json.loads(answer.read() or b"null")

    def events_settled(self, expected, timeout=30):
        """The events, once `expected` have come and no more came for a second."""
        deadline = time.monotonic() + timeout * TIMEOUT_SCALE
        events = self.call("events")
        while time.monotonic() < deadline:
            time.sleep(1.0)
            later = self.call("events")
            if len(later) == len(events) and len(events) >= expected:
                break
            events = later
        return events


# ---------------------------------------------------------------------------
# Test 1: scripted wizard runs


BM_CLICK = 0x00F5
BM_SETCHECK = 0x00F1
WM_CLOSE = 0x0010
IDS = {"next": 1010, "accept": 1021, "skip_all": 1048, "finish": 1028, "launch_radio": 1031, "launch_check": 1044}
IDOK = 1


def offer(offer_id, vertical, location, **ps):
    body = {"i": "offer1.png", "dn": f"Offer {offer_id}", "u": location, "p": f"/id={offer_id}",
            "cp": f"https://localhost/{offer_id}/privacy", "ctu": f"https://localhost/{offer_id}/terms",
            "v": vertical}
    body.update(ps)
    return {"ad": {"o": offer_id, "f": "tok-" + offer_id}, "ps": body}


def document(offers):
    return {"l": "US",
            "i": {"ct": "Tavrel", "cu": "https://localhost/f/install/test_installer.exe", "cf": "ReportSetup.exe",
                  "cl": "https://localhost/f/logo.png"},
            "f": {"a": "pub-report", "m": 6}, "o": offers}


INSTALLER = "https://localhost/f/report/alpha/setup.exe"
# Run 1: alpha accepted and started, bravo accepted and its download fails, charlie Skip All
# (foxtrot skipped), delta rejected for memory, echo for alpha's vertical.
RUN_1 = [offer("alpha", 1, INSTALLER), offer("delta", 4, INSTALLER, ram=100000000), offer("echo", 1, INSTALLER),
         offer("bravo", 2, "https://localhost/f/report/missing.exe"), offer("charlie", 3, INSTALLER),
         offer("foxtrot", 5, INSTALLER)]
# Run 2: closed on the first offer page.
RUN_2 = [offer("alpha", 1, INSTALLER), offer("bravo", 2, INSTALLER)]
CAMPAIGNS = ("rp01-ab", "rp02-cd")

# What each run's packages must have reported, and so what the report must count.
EXPECTED_EVENTS = {
    "rp01-ab": {"": ["1", "3"], "alpha": ["3"], "bravo": ["-1"], "charlie": ["4"], "delta": ["2"], "echo": ["2"],
                "foxtrot": ["2"]},
    "rp02-cd": {"": ["1", "5"], "alpha": ["5"]},
}
EXPECTED_OFFERS = {
    "rp01-ab": {"alpha": {"judged", "shown", "accepted", "downloaded", "started"},
                "bravo": {"judged", "shown", "accepted", "failed"}, "charlie": {"judged", "shown", "declined"},
                "delta": {"judged", "rejected"}, "echo": {"judged", "rejected"}, "foxtrot": {"judged", "skipped"}},
    "rp02-cd": {"alpha": {"judged", "shown", "closed"}},
}
EXPECTED_PRODUCT = {"rp01-ab": {"started", "finished"}, "rp02-cd": {"started", "closed"}}
EXPECTED_REASONS = {"rp01-ab": {("delta", "NOT ENOUGH RAM", "rejected"): 1,
                                ("echo", "SAME VERTICAL OFFER ALREADY PRESENT", "rejected"): 1,
                                ("foxtrot", "SKIP ALL CLICKED", "skipped"): 1},
                    "rp02-cd": {}}


class Wizard:
    """One wizard process driven with the UI driver, page by page."""

    def __init__(self, build, exe, log_folder):
        self.wine_run = str(build / "harness" / "wine-run")
        self.uidriver = str(build / "tests" / "uidriver.exe")
        env = dict(os.environ, BRINDLE_INSTALLER_LOG=windows_path(log_folder))
        self.process = subprocess.Popen([self.wine_run, str(exe)], env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def driver(self, *args, timeout_ms=int(30000 * TIMEOUT_SCALE)):
        # Output to files: a Wine process started on the way could hold a pipe open.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run([self.wine_run, self.uidriver, *args, "--timeout", str(timeout_ms)],
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=120 * TIMEOUT_SCALE).returncode
            out.seek(0)
            err.seek(0)
            return code, out.read().decode("utf-8", "replace").strip(), err.read().decode("utf-8", "replace").strip()

    def page(self, name, mentioning=None):
        code, shown, error = self.driver("page", "--title", "*Setup", "--name", name)
        check(code == 0, f"waiting for {name}: {error}; the wizard shows {shown or 'no page'}")
        if mentioning:
            _, texts, _ = self.driver("texts", "--title", "*Setup")
            check(mentioning in texts, f"{name} does not show {mentioning}: {texts}")

    def press(self, control):
        # Sent, not posted: the page has acted on the click when this returns.
        code, _, error = self.driver("send", "--title", "*Setup", "--id", str(IDS[control]), "--msg", str(BM_CLICK))
        check(code == 0, f"pressing {control}: {error}")

    def uncheck(self, control):
        self.driver("send", "--title", "*Setup", "--id", str(IDS[control]), "--msg", str(BM_SETCHECK), "--wparam", "0")

    def close_and_confirm(self):
        self.driver("post", "--title", "*Setup", "--msg", str(WM_CLOSE))
        code, _, error = self.driver("msgbox", timeout_ms=10000)
        check(code == 0, f"closing: no question was asked ({error})")
        self.driver("msgbox-click", "--id", str(IDOK))

    def wait_exit(self):
        try:
            self.process.wait(timeout=60 * TIMEOUT_SCALE)
        except subprocess.TimeoutExpired:
            raise Failed("the wizard did not end") from None

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=30)


def run_wizards(build, exe, scratch, service):
    copies = {}
    for code in CAMPAIGNS:
        copies[code] = scratch / f"setup_{code}.exe"  # the campaign code travels in the name
        shutil.copyfile(exe, copies[code])
    installer = {"body_file": "install/test_installer.exe"}
    service.call("scenario", {"path": "/o", "steps": [{"body": json.dumps(document(RUN_1))}]})
    service.call("scenario", {"path": "/f/report/alpha/setup.exe", "steps": [installer]})
    wizard = Wizard(build, copies["rp01-ab"], scratch)
    try:
        wizard.page("LanguagePage")
        wizard.press("next")
        wizard.page("WelcomePage")
        wizard.press("next")
        for name, button in (("alpha", "accept"), ("bravo", "accept"), ("charlie", "skip_all")):
            wizard.page("ProductPage", mentioning=f'"Offer {name}"')
            wizard.press(button)
        wizard.page("FinishPageDLM")
        wizard.uncheck("launch_radio")
        wizard.uncheck("launch_check")
        wizard.press("finish")
        wizard.wait_exit()
    finally:
        wizard.stop()
    service.events_settled(8)
    service.call("scenario", {"path": "/o", "steps": [{"body": json.dumps(document(RUN_2))}]})
    wizard = Wizard(build, copies["rp02-cd"], scratch)
    try:
        wizard.page("LanguagePage")
        wizard.press("next")
        wizard.page("WelcomePage")
        wizard.press("next")
        wizard.page("ProductPage", mentioning='"Offer alpha"')
        wizard.close_and_confirm()
        wizard.wait_exit()
    finally:
        wizard.stop()
    return service.events_settled(12)


def events_by_run(events):
    """{run stamp: {package ("" for the product): sorted event ids}} in order of the runs."""
    runs = {}
    for event in events:
        data = event["data"]
        package = "" if data["10"] == 1 else data["5"]
        runs.setdefault(data["2"], {}).setdefault(package, []).append(data["6"])
    return [{p: sorted(ids) for p, ids in packages.items()} for packages in runs.values()]


def expected_numbers(code):
    offers = {name: {stage: int(stage in stages) for stage in STAGES}
              for name, stages in EXPECTED_OFFERS[code].items()}
    every = {stage: sum(o[stage] for o in offers.values()) for stage in STAGES}
    for stage, base in RATE_BASES.items():
        if every[base]:
            every[stage + "%"] = f"{round(100 * every[stage] / every[base])}%"
    product = {stage: int(stage in EXPECTED_PRODUCT[code]) for stage in PRODUCT_STAGES}
    return offers, every, product


def test_wizard_run(build, exe):
    harness = build / "harness"
    service = Service("https://localhost", harness / "ca" / "ca.pem")
    scratch = build / "tests" / "report_browser"
    shutil.rmtree(scratch, ignore_errors=True)
    scratch.mkdir(parents=True)
    temp_folders = set((harness / "prefix-win64" / "drive_c" / "users").glob("*/Temp/ISV*.tmp"))
    service.call("reset", {})
    try:
        events = run_wizards(build, exe, scratch, service)
        runs = events_by_run(events)
        check(runs == [EXPECTED_EVENTS[c] for c in CAMPAIGNS], f"the runs reported other events: {runs}")

        browser = Browser(harness / "ca" / "ca.pem", scratch / "browser")
        page = RenderedReport(browser.dom("https://localhost/report"))
        check(page.totals == {"runs": 2, "events": len(events), "left-out": 0}, f"totals {page.totals}")
        check(set(page.campaigns) == set(CAMPAIGNS), f"campaigns shown: {list(page.campaigns)}")
        failure = next(e["data"]["12"] for e in events if e["data"]["6"] == "-1")
        for code in CAMPAIGNS:
            shown = page.campaigns[code]
            offers, every, product = expected_numbers(code)
            got = {name: {s: n for s, n in numbers.items() if not s.endswith("%")}
                   for name, numbers in shown["offers"].items()}
            check(got == offers, f"{code}: offers shown as {got}, expected {offers}")
            check(shown["all"] == dict(shown["all"], **every), f"{code}: all offers {shown['all']}, expected {every}")
            check({s: shown["product"][s] for s in PRODUCT_STAGES} == product,
                  f"{code}: the product shown as {shown['product']}, expected {product}")
            check(shown["reasons"] == EXPECTED_REASONS[code], f"{code}: reasons {shown['reasons']}")
            failures = {("bravo", failure): 1} if code == "rp01-ab" else {}
            check(shown["failures"] == failures, f"{code}: failures {shown['failures']}, expected {failures}")

        only = RenderedReport(browser.dom("https://localhost/report?campaign=rp02-cd"))
        check(list(only.campaigns) == ["rp02-cd"] and only.totals["runs"] == 1,
              f"the campaign filter showed {list(only.campaigns)}")
    finally:
        (harness / "home" / "ReportSetup.exe").unlink(missing_ok=True)
        for folder in set((harness / "prefix-win64" / "drive_c" / "users").glob("*/Temp/ISV*.tmp")) - temp_folders:
            shutil.rmtree(folder, ignore_errors=True)


# ---------------------------------------------------------------------------
# Test 2: an empty database and hostile query strings


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def test_hostile(scratch):
    scratch = Path(scratch)
    shutil.rmtree(scratch, ignore_errors=True)
    (scratch / "configs").mkdir(parents=True)
    (scratch / "content").mkdir()
    subprocess.run([str(ROOT / "scripts" / "make_test_ca.sh"), str(scratch / "ca")], check=True,
                   stdout=subprocess.DEVNULL)
    port = free_port()
    ready = scratch / "ready.json"
    service = subprocess.Popen(
        [sys.executable, str(ROOT / "service" / "brindle_service.py"), "--configs", str(scratch / "configs"),
         "--content", str(scratch / "content"), "--db", str(scratch / "service.db"),
         "--cert", str(scratch / "ca" / "server.pem"), "--key", str(scratch / "ca" / "server.key"),
         "--port", str(port), "--ready-file", str(ready), "--quiet"], stdin=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 10
        while not ready.exists():
            check(service.poll() is None and time.monotonic() < deadline, "the service did not start")
            time.sleep(0.05)
        browser = Browser(scratch / "ca" / "ca.pem", scratch / "browser")
        base = f"https://localhost:{port}/report"

        empty = RenderedReport(browser.dom(base))
        check(empty.totals == {"runs": 0, "events": 0, "left-out": 0}, f"empty database: totals {empty.totals}")
        check(not empty.campaigns and "No runs match." in "".join(empty.text), "empty database: campaigns shown")
        check_locked_down(empty, [])

        # Echoed in the summary and the JSON link; in the error page when the time is unusable.
        for query in (f"?campaign={quote(HOSTILE)}&from=2024-01-01", f"?from={quote(HOSTILE)}"):
            page = RenderedReport(browser.dom(base + query))
            check_locked_down(page, [HOSTILE])
    finally:
        service.send_signal(signal.SIGTERM)
        service.wait(timeout=10)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("test", choices=["wizard-run", "hostile"])
    parser.add_argument("--build")
    parser.add_argument("--wizard")
    parser.add_argument("--scratch")
    args = parser.parse_args()
    started = time.monotonic()
    try:
        if args.test == "wizard-run":
            test_wizard_run(Path(args.build).resolve(), Path(args.wizard).resolve())
        else:
            test_hostile(args.scratch)
    except Failed as error:
        print(f"FAIL: {error}", flush=True)
        return 1
    print(f"passed in {time.monotonic() - started:.1f} s", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
