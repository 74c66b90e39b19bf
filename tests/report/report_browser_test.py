#!/usr/bin/env python3
"""The service's funnel report as headless Chromium renders it, from the harness's service (the
harness must be running).

    report_browser_test.py wizard-run BUILD_TREE BRINDLE_EXE
        two scripted wizard runs under two campaign codes, then every number of /report, read
        from the DOM, against what the runs did and reported
    report_browser_test.py hostile BUILD_TREE
        the page of an empty database, and hostile texts in the query string, which stay text
"""
import json
import os
import shutil
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
RATE_BASES = {"rejected": "judged", "skipped": "judged", "shown": "judged", "accepted": "shown",
              "declined": "shown", "closed": "shown", "downloaded": "accepted", "failed": "accepted",
              "started": "downloaded"}
HOSTILE = '"><script>document.title="INJECTED"</script><img src=x onerror="document.title=\'INJECTED\'">'


class Failed(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failed(message)


class RenderedReport(HTMLParser):
    """What the page shows. numbers[(campaign, row, stage)]: a cell's count, its rate under
    stage + "%"; row is an offer id, "product" or "all". rows[(campaign, table)]: the cell texts
    of the reasons and failures tables. Also every element, the text, the title and the totals."""

    def __init__(self, dom):
        super().__init__()
        self.numbers, self.rows, self.totals = {}, {}, {}
        self.elements, self.text, self.title = [], [], ""
        self._open, self._campaign, self._table, self._row, self._cells = [], None, None, {}, None
        self.feed(dom)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.elements.append((tag, attrs))
        self._open.append((tag, attrs))
        if tag == "section":
            self._campaign = attrs.get("data-campaign")
        elif tag == "table":
            self._table = attrs.get("class")
        elif tag == "tr":
            self._row, self._cells = attrs, None
        elif tag == "td" and self._table in ("reasons", "failures"):
            if self._cells is None:
                self._cells = []
                self.rows.setdefault((self._campaign, self._table), []).append(self._cells)
            self._cells.append("")

    def handle_endtag(self, tag):
        while self._open and self._open.pop()[0] != tag:
            pass

    def handle_data(self, data):
        self.text.append(data)
        tag, attrs = self._open[-1] if self._open else ("", {})
        if tag == "title":
            self.title += data
        elif tag == "span" and "data-total" in attrs:
            self.totals[attrs["data-total"]] = int(data)
        elif tag == "span" and attrs.get("class") in ("n", "rate"):
            stage = next(a for t, a in reversed(self._open) if t == "td")["data-stage"]
            row = ("product" if "data-package" in self._row else
                   "all" if "data-offer-total" in self._row else self._row["data-offer"])
            rate = attrs["class"] == "rate"
            self.numbers[(self._campaign, row, stage + "%" * rate)] = data if rate else int(data)
        elif tag == "td" and self._cells is not None:
            self._cells[-1] += data


def check_locked_down(page, hostile_texts):
    """No element or handler came from a text, and each hostile text shows as itself."""
    check(page.title == "Brindle funnel report", f"the page's title became {page.title!r}")
    injected = [(tag, attrs) for tag, attrs in page.elements
                if tag in ("script", "img", "iframe", "object") or any(a.startswith("on") for a in attrs)]
    check(not injected, f"elements or handlers injected into the page: {injected}")
    for hostile in hostile_texts:
        check(hostile in "".join(page.text), f"the text {hostile!r} is not shown as text")


# ---------------------------------------------------------------------------
# Test 1: scripted wizard runs

BM_CLICK, BM_SETCHECK, WM_CLOSE, IDOK = 0x00F5, 0x00F1, 0x0010, 1
IDS = {"next": 1010, "accept": 1021, "skip_all": 1048, "finish": 1028, "launch": 1031}
INSTALLER = "https://localhost/f/report/alpha/setup.exe"
CAMPAIGNS = ("rp01-ab", "rp02-cd")


def offer(offer_id, vertical, location=INSTALLER, **ps):
    return {"ad": {"o": offer_id, "f": "tok-" + offer_id},
            "ps": dict({"i": "offer1.png", "dn": f"Offer {offer_id}", "u": location, "p": f"/id={offer_id}",
                        "cp": "https://localhost/privacy", "ctu": "https://localhost/terms", "v": vertical}, **ps)}


def document(offers):
    return {"l": "US", "f": {"a": "pub-report", "m": 6}, "o": offers,
            "i": {"ct": "Tavrel", "cu": "https://localhost/f/install/test_installer.exe", "cf": "ReportSetup.exe"}}


# Run 1: alpha accepted and started; delta rejected for memory, echo for alpha's vertical; bravo
# accepted, its download fails; Skip All on charlie, so foxtrot is skipped. Run 2: closed on the
# first offer page. What each package must have reported, and the stages the report must count.
RUN_1 = [offer("alpha", 1), offer("delta", 4, ram=100000000), offer("echo", 1),
         offer("bravo", 2, "https://localhost/f/report/missing.exe"), offer("charlie", 3), offer("foxtrot", 5)]
RUN_2 = [offer("alpha", 1), offer("bravo", 2)]
EXPECTED_EVENTS = [
    {"": ["1", "3"], "alpha": ["3"], "bravo": ["-1"], "charlie": ["4"], "delta": ["2"], "echo": ["2"],
     "foxtrot": ["2"]},
    {"": ["1", "5"], "alpha": ["5"]},
]
EXPECTED_STAGES = {
    "rp01-ab": {"product": {"started", "finished"}, "alpha": {"judged", "shown", "accepted", "downloaded", "started"},
                "bravo": {"judged", "shown", "accepted", "failed"}, "charlie": {"judged", "shown", "declined"},
                "delta": {"judged", "rejected"}, "echo": {"judged", "rejected"}, "foxtrot": {"judged", "skipped"}},
    "rp02-cd": {"product": {"started", "closed"}, "alpha": {"judged", "shown", "closed"}},
}
EXPECTED_REASONS = [["delta", "NOT ENOUGH RAM", "rejected", "1"],
                    ["echo", "SAME VERTICAL OFFER ALREADY PRESENT", "rejected", "1"],
                    ["foxtrot", "SKIP ALL CLICKED", "skipped", "1"]]


def expected_numbers():
    want = {}
    for code, packages in EXPECTED_STAGES.items():
        for stage in ("started", "finished", "failed", "closed"):
            want[(code, "product", stage)] = int(stage in packages["product"])
        offers = {name: stages for name, stages in packages.items() if name != "product"}
        for stage in STAGES:
            for name, stages in offers.items():
                want[(code, name, stage)] = int(stage in stages)
            want[(code, "all", stage)] = sum(stage in stages for stages in offers.values())
        for stage, base in RATE_BASES.items():
            count, total = want[(code, "all", stage)], want[(code, "all", base)]
            if total:
                want[(code, "all", stage + "%")] = f"{round(100 * count / total)}%"
    return want


class Wizard:
    """One wizard process driven with the UI driver, page by page."""

    def __init__(self, build, exe, log_folder):
        self.command = [str(build / "harness" / "wine-run"), str(build / "tests" / "uidriver.exe")]
        env = dict(os.environ, BRINDLE_INSTALLER_LOG=windows_path(log_folder))
        self.process = subprocess.Popen(self.command[:1] + [str(exe)], env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def driver(self, *args, timeout_ms=int(30000 * TIMEOUT_SCALE)):
        # Output to files: a Wine process started on the way could hold a pipe open.
        with tempfile.TemporaryFile() as out:
            code = subprocess.run(self.command + list(args) + ["--timeout", str(timeout_ms)], stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=out, timeout=120 * TIMEOUT_SCALE).returncode
            out.seek(0)
            return code, out.read().decode("utf-8", "replace").strip()

    def page(self, name, mentioning=""):
        code, shown = self.driver("page", "--title", "*Setup", "--name", name)
        check(code == 0, f"waiting for {name}: {shown}")
        if mentioning:
            check(mentioning in self.driver("texts", "--title", "*Setup")[1], f"{name} does not show {mentioning}")

    def send(self, control, message=BM_CLICK, wparam=0):
        # Sent, not posted: the page has acted on the click when this returns.
        code, error = self.driver("send", "--title", "*Setup", "--id", str(IDS[control]), "--msg", str(message),
                                  "--wparam", str(wparam))
        check(code == 0, f"{control}: {error}")

    def through_welcome(self):
        for page in ("LanguagePage", "WelcomePage"):
            self.page(page)
            self.send("next")

    def close_and_confirm(self):
        self.driver("post", "--title", "*Setup", "--msg", str(WM_CLOSE))
        check(self.driver("msgbox", timeout_ms=10000)[0] == 0, "closing: no question was asked")
        self.driver("msgbox-click", "--id", str(IDOK))

    def wait_exit(self):
        try:
            self.process.wait(timeout=60 * TIMEOUT_SCALE)
        except subprocess.TimeoutExpired:
            raise Failed("the wizard did not end") from None

    def __enter__(self):
        return self

    def __exit__(self, *_):
        if self.process.poll() is None:  # a failed step left it running
            self.process.kill()
            self.process.wait(timeout=30)


def control(route, body=None, ca=None):
    request = urllib.request.Request(f"https://localhost/_control/{route}", method="GET" if body is None else "POST",
                                     data=None if body is None else json.dumps(body).encode())
    with urllib.request.urlopen(request, context=ssl.create_default_context(cafile=str(ca)), timeout=30) as answer:
        return json.loads(answer.read())


def settled_events(ca, expected):
    """The events, once `expected` have come (or 30 s passed) and no more came for a second."""
    deadline = time.monotonic() + 30 * TIMEOUT_SCALE
    events = control("events", ca=ca)
    while time.monotonic() < deadline:
        time.sleep(1.0)
        later = control("events", ca=ca)
        if len(later) == len(events) >= expected:
            break
        events = later
    return events


def run_wizards(build, exe, scratch, ca):
    copies = [scratch / f"setup_{code}.exe" for code in CAMPAIGNS]  # the code travels in the name
    for copy in copies:
        shutil.copyfile(exe, copy)
    control("scenario", {"path": "/f/report/alpha/setup.exe", "steps": [{"body_file": "install/test_installer.exe"}]},
            ca=ca)
    control("scenario", {"path": "/o", "steps": [{"body": json.dumps(document(RUN_1))}]}, ca=ca)
    with Wizard(build, copies[0], scratch) as wizard:
        wizard.through_welcome()
        for name, button in (("alpha", "accept"), ("bravo", "accept"), ("charlie", "skip_all")):
            wizard.page("ProductPage", mentioning=f'"Offer {name}"')
            wizard.send(button)
        wizard.page("FinishPageDLM")
        # Alpha's installer has written its record and ends: its folder is not left for a restart.
        deadline = time.monotonic() + 30 * TIMEOUT_SCALE
        while not list(scratch.glob("*.log")) and time.monotonic() < deadline:
            time.sleep(0.2)
        wizard.send("launch", BM_SETCHECK)  # so Finish starts nothing
        # Posted: the wizard ends before a sent click could be answered.
        wizard.driver("click", "--title", "*Setup", "--id", str(IDS["finish"]))
        wizard.wait_exit()
    settled_events(ca, 8)
    control("scenario", {"path": "/o", "steps": [{"body": json.dumps(document(RUN_2))}]}, ca=ca)
    with Wizard(build, copies[1], scratch) as wizard:
        wizard.through_welcome()
        wizard.page("ProductPage", mentioning='"Offer alpha"')
        wizard.close_and_confirm()
        wizard.wait_exit()
    return settled_events(ca, 11)


def test_wizard_run(build, exe):
    harness = build / "harness"
    ca = harness / "ca" / "ca.pem"
    scratch = build / "tests" / "report_browser"
    shutil.rmtree(scratch, ignore_errors=True)
    scratch.mkdir(parents=True)
    temp = harness / "prefix-win64" / "drive_c" / "users"
    work_folders = set(temp.glob("*/Temp/ISV*.tmp"))
    control("reset", {}, ca=ca)
    try:
        events = run_wizards(build, exe, scratch, ca)
        runs = {}
        for data in (e["data"] for e in events):
            runs.setdefault(data["2"], {}).setdefault("" if data["10"] == 1 else data["5"], []).append(data["6"])
        runs = [{package: sorted(ids) for package, ids in run.items()} for run in runs.values()]
        check(runs == EXPECTED_EVENTS, f"the runs reported other events than scripted: {runs}")

        browser = Browser(ca, scratch / "browser")
        page = RenderedReport(browser.dom("https://localhost/report"))
        check(page.totals == {"runs": 2, "events": len(events), "left-out": 0}, f"totals {page.totals}")
        # Rates are compared for all offers together.
        shown = {k: v for k, v in page.numbers.items() if k[1] == "all" or not k[2].endswith("%")}
        want = expected_numbers()
        wrong = [f"{k}: {shown.get(k)} not {want.get(k)}" for k in sorted(set(shown) | set(want))
                 if shown.get(k) != want.get(k)]
        check(not wrong, "numbers shown differ: " + ", ".join(wrong))
        check(page.rows.get(("rp01-ab", "reasons")) == EXPECTED_REASONS, f"reasons {page.rows}")
        # As HTML reads it: a CR LF in the text is one line feed.
        failure = next(e["data"]["12"] for e in events if e["data"]["6"] == "-1").replace("\r\n", "\n")
        check(page.rows.get(("rp01-ab", "failures")) == [["bravo", failure, "1"]], f"failures {page.rows}")
        check(set(page.rows) == {("rp01-ab", "reasons"), ("rp01-ab", "failures")}, f"tables {list(page.rows)}")

        only = RenderedReport(browser.dom("https://localhost/report?campaign=rp02-cd"))
        check({k[0] for k in only.numbers} == {"rp02-cd"} and only.totals["runs"] == 1, "the campaign filter")
    finally:
        (harness / "home" / "ReportSetup.exe").unlink(missing_ok=True)
        for folder in set(temp.glob("*/Temp/ISV*.tmp")) - work_folders:
            shutil.rmtree(folder, ignore_errors=True)


# ---------------------------------------------------------------------------
# Test 2: an empty database and hostile query strings


def test_hostile(build):
    ca = build / "harness" / "ca" / "ca.pem"
    control("reset", {}, ca=ca)
    browser = Browser(ca, build / "tests" / "report_hostile")
    empty = RenderedReport(browser.dom("https://localhost/report"))
    check(empty.totals == {"runs": 0, "events": 0, "left-out": 0}, f"empty database: totals {empty.totals}")
    check(not empty.numbers and "No runs match." in "".join(empty.text), "empty database: campaigns shown")
    check_locked_down(empty, [])
    # Shown in the summary; in the error page when the time is unusable.
    for query in (f"?campaign={quote(HOSTILE)}&from=2024-01-01", f"?from={quote(HOSTILE)}"):
        check_locked_down(RenderedReport(browser.dom("https://localhost/report" + query)), [HOSTILE])


def main():
    started = time.monotonic()
    build = Path(sys.argv[2]).resolve()
    try:
        if sys.argv[1] == "wizard-run":
            test_wizard_run(build, Path(sys.argv[3]).resolve())
        else:
            test_hostile(build)
    except Failed as error:
        print(f"FAIL: {error}", flush=True)
        return 1
    print(f"passed in {time.monotonic() - started:.1f} s", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
