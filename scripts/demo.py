#!/usr/bin/env python3
"""Runs the real wizards under Wine on a virtual display against the reference service, the way
a person would click through them, saves a screenshot of every page under OUT and prints what
each run did: pages, files, installers started, events the service received. At the end, the
service's funnel report of all the runs, as counted and as Chromium shows it (OUT/report.png).

    demo.py BUILD_TREE OUT [RUN...]      RUN: dlm isv bt dlm-classic isv-classic dlm-error isv-error

Each run gets its configuration document through the service's control endpoint; the products
and offers are the test installers (tests/installers), which write a record of how they were
started to a folder of the demo's own. Each wizard runs as a copy whose name carries a campaign
code (demo-dl, demo-is, demo-bt by wizard kind), so the report groups the runs by campaign.
"""
import hashlib
import json
import os
import re
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.request
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "harness"))
from browser import Browser  # noqa: E402
from harness import TIMEOUT_SCALE, windows_path  # noqa: E402
from screenshot import Screen  # noqa: E402

INSTALLER = "install/test_installer.exe"
# The product download is slowed to take about this many seconds, so the progress bar can be
# watched and photographed half-way.
PRODUCT_SECONDS = 4
# The configuration answer trickles in over this many seconds, so the loading page can be
# photographed (a silent wait would run into the test build's 3 s receive time-out).
LOADING_SECONDS = 4
PAGE_TIMEOUT_MS = int(30000 * TIMEOUT_SCALE)
SHORT_NAMES = {
    "LanguagePage": "language", "LanguagePageBT": "language", "LoadingPage": "loading", "WelcomePage": "welcome",
    "LicensePage": "licence", "ProductPage": "offer", "WarningPageBTClassic": "warning",
    "OptionsPageBTClassic": "options", "ConfigurationsPageBTClassic": "configurations",
    "DownloadPageDLM": "download", "DownloadPageISV": "install", "FinishPageDLM": "finish",
    "FinishPageISV": "finish", "ErrorPage": "error",
}
CAMPAIGNS = {"Brindle": "demo-dl", "BrindleIsv": "demo-is", "BrindleBt": "demo-bt", "BrindleDlmClassic": "demo-bt",
             "BrindleIsvClassic": "demo-bt"}
REPORT_STAGES = ("judged", "rejected", "skipped", "shown", "accepted", "declined", "downloaded", "started", "failed",
                 "closed")
PBM_GETPOS = 0x0408
WM_CLOSE = 0x0010
IDOK = 1


class DemoError(Exception):
    pass


def resource_ids():
    ids = {}
    for match in re.finditer(r"^#define (ID[A-Z_0-9]+) (\d+)", (ROOT / "src/resources/resource.h").read_text(), re.M):
        ids[match.group(1)] = int(match.group(2))
    return ids


ID = resource_ids()


def offer(offer_id, name, vertical, location, arguments, picture):
    return {"ad": {"o": offer_id, "f": "tok-" + offer_id},
            "ps": {"i": picture, "dn": name, "u": location, "p": arguments,
                   "cp": f"https://localhost/{offer_id}/privacy", "ctu": f"https://localhost/{offer_id}/terms",
                   "v": vertical}}


def with_sha256(entry, sha256):
    """The offer or product object naming the SHA-256 its download must have."""
    (entry["ps"] if "ps" in entry else entry)["sha256"] = sha256
    return entry


def dlm_document(offers, title="Tavrel", sha256=None):
    product = {"ct": title, "cu": "https://localhost/f/demo/product/TavrelSetup.exe",
               "cl": "https://localhost/f/logo.png", "cf": "TavrelSetup.exe",
               "cp": "https://localhost/privacy", "ctu": "https://localhost/terms"}
    if sha256:
        product["sha256"] = sha256
    return {"l": "US", "i": product, "f": {"a": "pub-demo", "m": 3}, "o": offers}


def isv_document(offers):
    # The installer type takes its product from the build; the document brings only offers.
    return {"l": "US", "f": {"a": "pub-demo", "m": 3}, "o": offers}


class Service:
    """The reference service's control endpoint, over TLS with the harness's test CA."""

    def __init__(self, ca):
        self.context = ssl.create_default_context(cafile=str(ca))
        self.scripted = set()

    def get(self, path):
        with urllib.request.urlopen("https://localhost" + path, context=self.context, timeout=30) as answer:
            return json.loads(answer.read() or b"null")

    def call(self, route, body=None):
        request = urllib.request.Request(
            "https://localhost/_control/" + route, method="GET" if body is None else "POST",
            data=None if body is None else json.dumps(body).encode(), headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, context=self.context, timeout=30) as answer:
            return json.loads(answer.read() or b"null")

    def reset(self):
        self.call("reset", {})
        self.scripted.clear()

    def clear_scenarios(self):
        """What the last run left unused; the recorded requests and events stay for the report."""
        for path in self.scripted:
            self.call("scenario", {"path": path, "steps": []})
        self.scripted.clear()

    def scenario(self, path, steps):
        self.call("scenario", {"path": path, "steps": steps})
        self.scripted.add(path)

    def serve_document(self, document, seconds=0):
        body = json.dumps(document)
        step = {"body": body}
        if seconds:
            step["rate"] = max(1, len(body.encode()) // seconds)
        self.scenario("/o", [step])

    def events(self):
        return self.call("events")

    def requests(self):
        return self.call("requests")


class Run:
    """One wizard process, driven page by page; what it showed and left behind."""

    def __init__(self, demo, name, exe, title, environment=None):
        self.demo = demo
        self.name = name
        self.exe = exe
        self.title = title
        self.pages = []
        self.notes = []
        self.work_files = []
        self.offer_pages = 0
        # Only what this run adds is this run's: the service keeps the earlier runs' records.
        self.first_event = max((e["id"] for e in demo.service.events()), default=0)
        self.first_request = max((r["id"] for r in demo.service.requests()), default=0)
        self.log_folder = demo.scratch / f"installers-{name}"
        shutil.rmtree(self.log_folder, ignore_errors=True)
        self.log_folder.mkdir(parents=True)
        env = dict(os.environ, BRINDLE_INSTALLER_LOG=windows_path(self.log_folder), **(environment or {}))
        self.downloads_before = demo.listing(demo.downloads)
        self.work_before = set(demo.work_folders())
        self.log = open(demo.logs / f"{name}.log", "wb")
        self.process = subprocess.Popen([demo.screen.wine_run, str(demo.campaign_copy(exe))], env=env, stdin=subprocess.DEVNULL,
                                        stdout=self.log, stderr=self.log)

    # --- driving -----------------------------------------------------------------------------
    def driver(self, *args, timeout_ms=PAGE_TIMEOUT_MS):
        return self.demo.driver(*args, "--timeout", str(timeout_ms))

    def page(self, name, shot=True):
        """Waits for the page, notes it and photographs it."""
        code, shown, error = self.driver("page", "--title", self.title, "--name", name)
        if code != 0:
            if self.process.poll() is not None:
                raise DemoError(f"waiting for {name}: the wizard ended with exit code {self.process.returncode}")
            try:
                self.demo.screenshot(self.title, f"{self.name}-failure")
            except (RuntimeError, OSError, subprocess.SubprocessError):
                pass  # the window may be gone
            raise DemoError(f"waiting for {name}: {error or 'no answer'}; the wizard shows {shown or 'no page'}")
        texts = self.texts()
        photo = None
        if shot:
            short = SHORT_NAMES.get(name, name)
            if name == "ProductPage":
                self.offer_pages += 1
                short += f"-{self.offer_pages}"
            photo = self.demo.screenshot(self.title, f"{self.name}-{short}")
        # A page that moves on by itself (loading, installing) may have gone meanwhile.
        if self.current_page() != name:
            texts = []
            self.notes.append(f"{name} had moved on before it was read")
            if photo:
                photo.unlink(missing_ok=True)
                self.demo.say(f"  {photo.name} removed: it shows the page after {name}")
        self.pages.append((name, texts))
        return texts

    def current_page(self):
        code, shown, _ = self.driver("page", "--title", self.title, timeout_ms=5000)
        return shown if code == 0 else None

    def texts(self):
        code, out, _ = self.driver("texts", "--title", self.title)
        return out.splitlines() if code == 0 else []

    def click(self, control, what):
        code, _, error = self.driver("click", "--title", self.title, "--id", str(ID[control]))
        if code != 0:
            raise DemoError(f"clicking {what} ({control}): {error}")

    def finish(self, page):
        """The finish page: the work folder listed, then Finish and the wizard's end."""
        self.page(page)
        self.snapshot_work_folder()
        self.click("IDC_FINISH", "Finish")
        self.wait_exit()

    def through_welcome(self):
        """Language, loading and welcome pages, each photographed, on to the first offer."""
        self.page("LanguagePage")
        self.click("IDC_NEXT", "Next")
        self.page("LoadingPage")
        self.page("WelcomePage")
        self.click("IDC_NEXT", "Next")

    def decide(self, button):
        """Accepts or declines the offer page that shows next."""
        texts = self.page("ProductPage")
        # The disclaimer names the offer in quotes, beside the button it speaks of.
        named = [q for t in texts for q in re.findall(r'"([^"<>]+)"', t) if q not in texts]
        verb = button[4:].lower()
        self.click(button, verb)
        self.notes.append(f"offer {self.offer_pages} ({named[0] if named else '?'}): {verb.rstrip('e')}ed")

    def progress(self):
        code, out, _ = self.driver("send", "--title", self.title, "--id", str(ID["IDC_PROGRESS"]), "--msg",
                                   str(PBM_GETPOS), timeout_ms=5000)
        return int(out) if code == 0 and out.lstrip("-").isdigit() else None

    def close_and_confirm(self):
        """Closes the wizard as the window's Close button would, and answers OK to the question."""
        self.driver("post", "--title", self.title, "--msg", str(WM_CLOSE))
        code, question, error = self.demo.driver("msgbox", "--timeout", "10000")
        if code != 0:
            raise DemoError(f"closing: no question was asked ({error})")
        self.notes.append(f'closed; the wizard asked "{question}", answered OK')
        self.demo.driver("msgbox-click", "--id", str(IDOK))

    def wait_exit(self, timeout=60):
        try:
            code = self.process.wait(timeout=timeout * TIMEOUT_SCALE)
        except subprocess.TimeoutExpired:
            raise DemoError(f"the wizard did not end within {timeout} s") from None
        self.notes.append(f"the wizard ended with exit code {code}")
        self.log.close()

    def stop(self):
        """Ends the wizard if it still runs (after a failure)."""
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=30)
        self.log.close()

    def snapshot_work_folder(self):
        for folder in sorted(set(self.demo.work_folders()) - self.work_before):
            self.work_files += [(folder, path, size) for path, (size, _) in self.demo.listing(folder).items()]
            if not self.demo.listing(folder):
                self.work_files.append((folder, None, 0))

    # --- results -----------------------------------------------------------------------------
    def installer_records(self, expected=0, timeout=15):
        """The records the test installers wrote; waits until `expected` are there."""
        deadline = time.monotonic() + timeout * TIMEOUT_SCALE
        while True:
            records = sorted(self.log_folder.glob("*.log"))
            if len(records) >= expected or time.monotonic() >= deadline:
                break
            time.sleep(0.2)
        parsed = []
        for path in records:
            fields = dict(line.split("=", 1) for line in path.read_text("utf-8", "replace").splitlines() if "=" in line)
            parsed.append(fields)
        return sorted(parsed, key=lambda r: r.get("exe", ""))

    def events(self, settle=1.0, timeout=10):
        """The events the service received in this run; waits until no new one came for `settle`
        seconds."""
        deadline = time.monotonic() + timeout * TIMEOUT_SCALE
        events = self.demo.service.events()
        while time.monotonic() < deadline:
            time.sleep(settle)
            later = self.demo.service.events()
            if len(later) == len(events):
                break
            events = later
        return [e for e in events if e["id"] > self.first_event]

    def summary(self, installers=0):
        say = self.demo.say
        records = self.installer_records(installers)
        events = self.events()
        fetched = [r["path"] for r in self.demo.service.requests()
                   if r["id"] > self.first_request and r["path"].startswith("/f/")]
        say(f"--- run {self.name}: {self.demo.campaign_copy(self.exe).name} ---")
        say("pages seen, in order:")
        for number, (name, texts) in enumerate(self.pages, 1):
            shown = " | ".join([shorten(t) for t in texts if t.strip()][:4])
            say(f"  {number:2}. {name:<28} {shown}")
        for note in self.notes:
            say(f"  {note}")
        say("files fetched from the service: " + (", ".join(fetched) if fetched else "none"))
        added = {p: s for p, s in self.demo.listing(self.demo.downloads).items() if self.downloads_before.get(p) != s}
        say("written to the Downloads folder: " + (", ".join(f"{self.demo.windows(p)} ({s[0]} bytes)"
                                                            for p, s in added.items()) if added else "nothing"))
        if self.work_files:
            say("the work folder before the wizard ended:")
            for folder, path, size in self.work_files:
                if path is None:
                    say(f"  {self.demo.windows(folder)} (empty)")
                else:
                    say(f"  {self.demo.windows(path)} ({size} bytes)")
        left = [f for f in set(self.demo.work_folders()) - self.work_before if self.demo.listing(f)]
        say("work folders left with files after the wizard ended: " +
            (", ".join(self.demo.windows(f) for f in left) if left else "none"))
        say(f"installers started: {len(records)}")
        for record in records:
            say(f"  {record.get('cmdline', '?')}")
            say(f"    in {record.get('cwd', '?')}, exit code {record.get('exit', '?')}")
        say(f"events recorded by the service: {len(events)}")
        for event in events:
            data = event.get("data") or {}
            detail = "; ".join(f"{key}={data[key]}" for key in ("12", "13") if data.get(key))
            package = data.get("5", "")
            say(f"  event {event.get('event_id')!s:>3}  package {package or '(none yet)':<14} {detail}")


def shorten(text, width=40):
    text = " ".join(text.split())
    return text if len(text) <= width else text[:width - 1] + "…"


class Demo:
    def __init__(self, build, out):
        self.screen = Screen(build)
        self.harness = self.screen.harness
        self.build = Path(build).resolve()
        self.out = Path(out).resolve()
        self.logs = self.out / "logs"
        self.scratch = self.harness.dir / "demo"
        self.shots = 0
        self.service = None
        self.prefix = None
        self.downloads = None

    def say(self, text):
        print(f"demo: {text}", flush=True)

    def driver(self, *args):
        """Runs the UI driver; (exit code, standard output, standard error)."""
        # Output goes to files, not pipes: a Wine process started on the way could inherit and
        # hold a pipe open.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            try:
                code = subprocess.run([self.screen.wine_run, self.screen.uidriver, *args], stdin=subprocess.DEVNULL,
                                      stdout=out, stderr=err, timeout=120 * TIMEOUT_SCALE).returncode
            except subprocess.TimeoutExpired:
                return 1, "", "the UI driver did not answer"
            out.seek(0)
            err.seek(0)
            return (code, out.read().decode("utf-8", "replace").strip(),
                    err.read().decode("utf-8", "replace").strip().removeprefix("uidriver: "))

    def screenshot(self, title, name):
        self.shots += 1
        path = self.out / f"{self.shots:02d}-{name}.png"
        self.screen.capture(title, path)
        self.say(f"  screenshot {path.relative_to(self.out.parent)}")
        return path

    # --- the prefix's folders, seen from Linux -----------------------------------------------
    def windows(self, path):
        relative = Path(path).relative_to(self.prefix / "drive_c")
        return "C:\\" + str(relative).replace("/", "\\")

    def work_folders(self):
        # %TEMP% is users\<name>\Temp in Wine's prefixes, AppData\Local\Temp on Windows.
        patterns = ("drive_c/users/*/Temp/ISV*.tmp", "drive_c/users/*/AppData/Local/Temp/ISV*.tmp")
        return [p for pattern in patterns for p in self.prefix.glob(pattern) if p.is_dir()]

    @staticmethod
    def listing(folder):
        """Files under the folder (a link at the top followed), with their sizes and times."""
        folder = Path(folder)
        if not folder.is_dir():
            return {}
        files = {}
        for root, _, names in os.walk(folder.resolve()):
            for name in names:
                full = Path(root) / name
                try:
                    status = full.stat()
                    files[folder / full.relative_to(folder.resolve())] = (status.st_size, status.st_mtime_ns)
                except OSError:
                    pass
        return files

    # --- set-up ------------------------------------------------------------------------------
    def start(self):
        for old in list(self.out.glob("[0-9][0-9]-*.png")) + [self.out / "report.png"]:
            old.unlink(missing_ok=True)
        self.out.mkdir(parents=True, exist_ok=True)
        self.logs.mkdir(exist_ok=True)
        self.say("starting the virtual display, a fresh Wine prefix and the reference service")
        started = time.monotonic()
        self.harness.start(arches=["win64"], nginx=False)
        self.say(f"ready in {time.monotonic() - started:.0f} s")
        self.scratch.mkdir(parents=True, exist_ok=True)
        self.service = Service(self.harness.dir / "ca" / "ca.pem")
        self.prefix = self.harness.dir / "prefix-win64"
        downloads = list(self.prefix.glob("drive_c/users/*/Downloads"))
        if not downloads:
            raise DemoError("the prefix has no Downloads folder")
        self.downloads = downloads[0]
        installer = (self.harness.dir / "service" / "content" / INSTALLER).read_bytes()
        self.installer_size = len(installer)
        self.installer_sha256 = hashlib.sha256(installer).hexdigest()

    def begin(self, name, exe, title, document, environment=None, slow=False):
        """Starts the wizard; the service's scenarios must be set already (after new_run)."""
        self.service.serve_document(document, LOADING_SECONDS if slow else 0)
        return Run(self, name, exe, title, environment)

    def new_run(self, name):
        self.say(f"=== {name} ===")
        self.service.clear_scenarios()

    def campaign_copy(self, exe):
        """A copy of the wizard whose file name carries the campaign code of its kind."""
        copy = self.scratch / "wizards" / f"{exe.stem}_{CAMPAIGNS[exe.stem]}.exe"
        if not copy.exists() or copy.stat().st_mtime < exe.stat().st_mtime:
            copy.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(exe, copy)
        return copy

    def report(self):
        """The funnel report of every run made: its counts, and a screenshot of the page."""
        counted = self.service.get("/report.json")
        self.say("=== the funnel report of these runs (https://localhost/report) ===")
        self.say(f"{counted['runs']} runs, {counted['events_counted']} events counted, "
                 f"{counted['events_left_out']} left out")
        lines = 0
        for campaign in counted["campaigns"]:
            product = campaign["product"]["counts"]
            self.say(f"campaign {campaign['campaign'] or '(none)'}: {campaign['runs']} runs; product: "
                     + ", ".join(f"{stage} {count}" for stage, count in product.items()))
            offers = campaign["offers"]
            if offers:
                offers = offers + [dict(campaign["all_offers"], offer="all offers")]
            else:
                self.say("  no offer reported anything")
            for entry in offers:
                self.say(f"  {entry['offer']:<12} " + ", ".join(
                    f"{stage} {entry['counts'][stage]}" for stage in REPORT_STAGES if entry["counts"][stage]))
            for reason in campaign["reasons"]:
                self.say(f"  not shown: {reason['offer']}: {reason['reason']} ({reason['kind']}) x{reason['count']}")
            for failure in campaign["product"]["failures"] + campaign["failures"]:
                self.say(f"  failed: {failure.get('offer') or 'product'}: {failure['text']} x{failure['count']}")
            lines += 16 + len(campaign["offers"]) + len(campaign["reasons"]) + len(campaign["failures"]) \
                + len(campaign["product"]["failures"])
        browser = Browser(self.harness.dir / "ca" / "ca.pem", self.scratch / "browser")
        # Tall enough for every table: the page is photographed as one window.
        path = browser.screenshot("https://localhost/report", self.out / "report.png", height=160 + 30 * lines)
        self.say(f"  screenshot of the report: {path}")

    def serve_installer_as(self, path, rate=None):
        step = {"body_file": INSTALLER}
        if rate:
            step["rate"] = rate
        # Two steps: the second would serve a retry the same way.
        self.service.scenario(path, [step, step])

    # --- the runs ----------------------------------------------------------------------------
    def run_dlm(self):
        """A download manager from the language page to the finish page: three offers, two of
        them accepted, the product downloaded slowly enough to watch."""
        self.new_run("dlm")
        for path in ("/f/demo/photo/setup.exe", "/f/demo/notes/setup.exe", "/f/demo/weather/setup.exe"):
            self.serve_installer_as(path)
        self.serve_installer_as("/f/demo/product/TavrelSetup.exe", rate=self.installer_size // PRODUCT_SECONDS)
        # Every download is named by its SHA-256; the weather app's is wrong (a file changed on
        # the way), so that offer is refused as corrupt and never runs.
        offers = [with_sha256(offer("photo-tool", "Photo Tool", 1, "https://localhost/f/demo/photo/setup.exe",
                                    "/S /id=photo", "offer1.png"), self.installer_sha256),
                  with_sha256(offer("notes-app", "Notes App", 2, "demo/notes/setup.exe", "/quiet /id=notes",
                                    "offer2.png"), self.installer_sha256),
                  with_sha256(offer("weather-app", "Weather App", 3, "https://localhost/f/demo/weather/setup.exe",
                                    "/silent /id=weather", "offer3.png"), "0" * 64)]
        run = self.begin("dlm", self.build / "Brindle.exe", "*Setup",
                         dlm_document(offers, sha256=self.installer_sha256), slow=True)
        try:
            run.through_welcome()
            for decision in ("IDC_ACCEPT", "IDC_DECLINE", "IDC_ACCEPT"):
                run.decide(decision)
            # Photographed half-way through the product, below.
            run.page("DownloadPageDLM", shot=False)
            self.watch_progress(run)
            # Launch is preselected: Finish opens the product just downloaded.
            run.finish("FinishPageDLM")
        finally:
            run.stop()
        run.summary(installers=2)

    def watch_progress(self, run):
        """Reads the bar while the slowed product downloads and photographs it half-way."""
        seen = []
        shot = False
        deadline = time.monotonic() + 60 * TIMEOUT_SCALE
        while time.monotonic() < deadline:
            if run.current_page() != "DownloadPageDLM":
                break
            position = run.progress()
            if position is not None and (not seen or seen[-1] != position):
                seen.append(position)
            if not shot and position is not None and 20 <= position <= 80:
                self.screenshot(run.title, f"{run.name}-download")
                shot = True
            time.sleep(0.3)
        if not shot:
            self.screenshot(run.title, f"{run.name}-download")
        run.notes.append("download progress read from the bar (%): " + " ".join(str(p) for p in seen))

    def run_isv(self):
        """An installer from the language page to the finish page: its product (built into
        the test build) installs first and is waited for, then the accepted offer starts."""
        self.new_run("isv")
        self.serve_installer_as("/f/demo/photo/setup.exe")
        offers = [offer("photo-tool", "Photo Tool", 1, "https://localhost/f/demo/photo/setup.exe", "/S /id=photo",
                        "offer1.png"),
                  offer("notes-app", "Notes App", 2, "https://localhost/f/demo/notes/setup.exe", "/quiet",
                        "offer2.png")]
        run = self.begin("isv", self.build / "tests" / "BrindleIsv.exe", "Tavrel ", isv_document(offers),
                         slow=True)
        try:
            run.through_welcome()
            run.decide("IDC_ACCEPT")
            run.decide("IDC_DECLINE")
            # The product's installer takes a moment (the test build passes /sleep=1500).
            run.page("DownloadPageISV")
            run.finish("FinishPageISV")
        finally:
            run.stop()
        run.summary(installers=2)

    def run_bt(self, name, exe, title, classic, complete):
        """The BT page sets: licence (and warning, options and configurations when classic)."""
        self.new_run(name)
        run = self.begin(name, exe, title, isv_document([]) if "isv" in name else dlm_document([]))
        try:
            run.page("LanguagePageBT")
            run.click("IDC_NEXT", "Next")
            if classic:
                run.page("WarningPageBTClassic")
                run.click("IDC_NEXT", "Next")
            run.page("LicensePage")
            if classic:
                run.click("IDC_AGREE", "Agree")
                run.page("OptionsPageBTClassic")
                run.click("IDC_NEXT", "Next")
                run.page("ConfigurationsPageBTClassic")
            if complete:
                run.click("IDC_NEXT", "Next")
                # The download page is gone in a moment (the classic command line gives the test
                # installer no pause), often before it can be read: wait for the finish page.
                run.page("FinishPageISV")
                run.snapshot_work_folder()
                run.click("IDC_FINISH", "Finish")
            else:
                run.close_and_confirm()
            run.wait_exit()
        finally:
            run.stop()
        run.summary(installers=1 if complete else 0)

    def run_dlm_error(self):
        """A download manager whose configuration names no product: the error page."""
        self.new_run("dlm-error")
        run = self.begin("dlm-error", self.build / "Brindle.exe", "*Setup", dlm_document([], title=""))
        try:
            run.page("LanguagePage")
            run.click("IDC_NEXT", "Next")
            run.page("ErrorPage")
            run.click("IDC_ERROR_CLOSE", "Close")
            run.wait_exit()
        finally:
            run.stop()
        run.summary()

    def run_isv_error(self):
        """An installer whose product installer fails (exit code 1): the error page."""
        self.new_run("isv-error")
        run = self.begin("isv-error", self.build / "tests" / "BrindleIsv.exe", "Tavrel ", isv_document([]),
                         environment={"BRINDLE_INSTALLER_EXIT": "1"})
        try:
            run.page("LanguagePage")
            run.click("IDC_NEXT", "Next")
            run.page("WelcomePage")
            run.click("IDC_NEXT", "Next")
            run.page("ErrorPage")
            run.snapshot_work_folder()
            run.click("IDC_ERROR_CLOSE", "Close")
            run.wait_exit()
        finally:
            run.stop()
        run.summary(installers=1)

    def runs(self):
        tests = self.build / "tests"
        return {
            "dlm": self.run_dlm,
            "isv": self.run_isv,
            "bt": lambda: self.run_bt("bt", tests / "BrindleBt.exe", "*Setup", classic=False, complete=False),
            "dlm-classic": lambda: self.run_bt("dlm-classic", tests / "BrindleDlmClassic.exe", "*Setup", classic=True,
                                               complete=False),
            "isv-classic": lambda: self.run_bt("isv-classic", tests / "BrindleIsvClassic.exe", "Tavrel ",
                                               classic=True, complete=True),
            "dlm-error": self.run_dlm_error,
            "isv-error": self.run_isv_error,
        }

    def run(self, names):
        runs = self.runs()
        unknown = [n for n in names if n not in runs]
        if unknown:
            raise DemoError(f"unknown run {', '.join(unknown)}; choose from {', '.join(runs)}")
        started = time.monotonic()
        self.start()
        self.service.reset()
        for name in names or runs:
            runs[name]()
        self.report()
        self.say(f"{self.shots} screenshots in {self.out}, logs in {self.logs}; "
                 f"{time.monotonic() - started:.0f} s in all")


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    # A terminal's Ctrl-C or a kill still stops everything the harness started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    demo = Demo(sys.argv[1], sys.argv[2])
    try:
        demo.run(sys.argv[3:])
        return 0
    except (DemoError, RuntimeError, OSError, subprocess.SubprocessError) as error:
        demo.say(f"FAILED: {error}")
        demo.say(f"the wizard's output and the harness's logs: {demo.logs}, {demo.harness.dir / 'logs'}")
        return 1
    except KeyboardInterrupt:
        demo.say("interrupted")
        return 130
    finally:
        demo.harness.stop(quiet=True)


if __name__ == "__main__":
    sys.exit(main())
