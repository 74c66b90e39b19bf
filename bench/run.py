#!/usr/bin/env python3
"""Prints the figures we track: the size of the delivered stub, what makes it up, its
start-up time to the language page under Wine against a minimal dialog program (with and
without the wizard's manifest) measured in the same run, the download engine's throughput
against a bare WinHTTP read loop (the figure we track) and curl, all fetching the same file from
the same service in the same run, the same download without the file's SHA-256 and with our
own SHA-256 instead of the CNG provider's, a download dropped twice and resumed against the same one whole, a whole download-manager run driven page by page against curl
fetching the same three files, with the wizard's peak working set, and the offer evaluation
against a large registry with and without its registry caches.

    bench/run.py RELEASE_TREE TEST_TREE [RUNS] [REPORT...]

RUNS is the number of start-ups timed per program (30); REPORT picks some of size, startup,
download, run, eligibility (all by default).
"""
import json
import os
import re
import shutil
import ssl
import subprocess
import urllib.request
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "harness"))
from harness import Harness, windows_path  # noqa: E402


def size_report(stub):
    with tempfile.TemporaryDirectory() as tmp:
        stripped = Path(tmp) / "stub.exe"
        subprocess.run(["i686-w64-mingw32-strip", "-o", str(stripped), str(stub)], check=True)
        size = stripped.stat().st_size
        print(f"stub size (stripped, release DLM): {size} bytes ({size / 1024:.1f} KiB)")
        headers = subprocess.run(["i686-w64-mingw32-objdump", "-h", str(stripped)], capture_output=True,
                                 text=True, check=True).stdout
    print("sections:")
    for match in re.finditer(r"^\s+\d+\s+(\.\S+)\s+([0-9a-f]+)", headers, re.M):
        print(f"  {match.group(1):<10} {int(match.group(2), 16):>8} bytes")
    print("what the code and data come from (linker map, bytes):")
    for name, size in map_contributions(Path(stub).with_name("brindle.map"))[:10]:
        print(f"  {size:>8}  {name}")


def map_contributions(map_file):
    """Bytes of code, read-only data and unwind tables per library (or our own objects) that the
    link kept: the map lists the sections it discarded first. The unwind tables are counted as
    linked, before scripts/compact_eh_frame.py merges their common entries."""
    totals = {}
    pending = False
    lines = map_file.read_text(errors="replace").splitlines()
    start = next((i for i, line in enumerate(lines) if line.startswith("Linker script and memory map")), 0)
    for line in lines[start:]:
        match = re.match(r"^ (\.(?:text|rdata|eh_frame|data)\S*)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S+)", line)
        if not match and pending:
            match = re.match(r"^()\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S+)", line)
        pending = bool(re.match(r"^ \.(?:text|rdata|eh_frame|data)\S*\s*$", line))
        if match:
            name = re.sub(r"\(.*", "", match.group(3).split("/")[-1])
            totals[name] = totals.get(name, 0) + int(match.group(2), 16)
    return sorted(totals.items(), key=lambda item: -item[1])


STARTUP_PROGRAMS = (("baseline dialog", "tests/baseline_dialog.exe", ""),
                    ("baseline + manifest", "tests/baseline_dialog_manifest.exe", ""),
                    ("wizard", "Brindle.exe", "LanguagePage"))


def startup_report(test, runs):
    """Process creation to the first window visible: the wizard counts once its language page
    shows (a visible child dialog named so), the baselines once their dialog does. One baseline
    is the smallest dialog program; the other is the same program carrying the wizard's
    manifest, which alone makes the system load the themed common controls."""
    harness = Harness(test)
    harness.start(arches=["win64"], nginx=False)
    try:
        wine_run = str(Path(test) / "harness" / "wine-run")
        programs = [windows_path(Path(test) / path) + (f"|{page}" if page else "")
                    for _, path, page in STARTUP_PROGRAMS]
        result = subprocess.run([wine_run, str(Path(test) / "tests" / "startup_timer.exe"), str(runs), *programs],
                                capture_output=True, text=True, timeout=900, check=True)
    finally:
        harness.stop(quiet=True)
    lines = [line.split() for line in result.stdout.splitlines() if line.strip()]
    rounds = [[float(ms) for ms in line[1:]] for line in lines if line[0] == "round"]
    rows = [line for line in lines if line[0] != "round"]
    if len(rows) != len(STARTUP_PROGRAMS) or any(row[-1] == "failed" for row in rows):
        raise RuntimeError(f"startup_timer failed: {result.stdout} {result.stderr}")
    labels = [label for label, _, _ in STARTUP_PROGRAMS]
    times = {label: (float(row[1]), float(row[2]), float(row[3])) for label, row in zip(labels, rows)}
    print(f"start-up under Wine ({Path(test).name}, {runs} runs each, alternating):")
    for label, (median, low, high) in times.items():
        print(f"  {label:<20} median {median:7.1f} ms  min {low:7.1f}  max {high:7.1f}")
    wizard = labels.index("wizard")
    for label in ("baseline dialog", "baseline + manifest"):
        base = labels.index(label)
        # Each round's own ratio, then their median: load that drifts between rounds cancels.
        paired = sorted(r[wizard] / r[base] for r in rounds if r[wizard] > 0 and r[base] > 0)
        print(f"start-up ratio wizard's language page / {label}: {times['wizard'][0] / times[label][0]:.2f} "
              f"(medians), {paired[len(paired) // 2]:.2f} (median of the rounds' ratios)")


BENCH_BYTES = 256 * 1024 * 1024
BENCH_URL = "https://localhost/f/bench.bin"


def post_control(ca, route, body):
    request = urllib.request.Request("https://localhost/_control/" + route, data=json.dumps(body).encode(),
                                     headers={"Content-Type": "application/json"}, method="POST")
    with urllib.request.urlopen(request, context=ssl.create_default_context(cafile=str(ca)), timeout=30) as answer:
        answer.read()


def run_download_bench(wine_run, test, scratch, *mode, url=BENCH_URL, size=BENCH_BYTES):
    result = subprocess.run([wine_run, str(Path(test) / "tests" / "download_bench.exe"), url,
                             windows_path(scratch), *mode], capture_output=True, text=True, timeout=900)
    fields = result.stdout.split()
    if result.returncode != 0 or len(fields) != 5 or int(fields[2]) != size:
        raise RuntimeError(f"download_bench {' '.join(mode)} failed: {result.stdout} {result.stderr}")
    return float(fields[1]), int(fields[3]), int(fields[4])


RESUME_BYTES = 64 * 1024 * 1024
RESUME_URL = "https://localhost/f/resume-bench.bin"


def download_report(test, runs=3):
    harness = Harness(test)
    harness.start(arches=["win64"], nginx=False)
    scratch = harness.dir / "home" / "bench-downloads"
    ca = harness.dir / "ca" / "ca.pem"
    curl, engine, bare, unhashed, own, whole, dropped = [], [], [], [], [], [], []
    try:
        scratch.mkdir(parents=True, exist_ok=True)
        # The service streams a generated pattern, so neither side reads a 256 MiB file from disk.
        post_control(ca, "scenario", {"path": "/f/bench.bin", "steps": [{"body_size": BENCH_BYTES}] * (5 * runs)})
        wine_run = str(Path(test) / "harness" / "wine-run")
        # Interleaved, so a slow moment of the machine hurts all of them alike.
        for _ in range(runs):
            out = subprocess.run(["curl", "-sS", "-o", "/dev/null", "--cacert", str(ca), "-w",
                                  "%{time_total} %{size_download}", BENCH_URL],
                                 capture_output=True, text=True, timeout=900, check=True).stdout.split()
            if int(out[1]) != BENCH_BYTES:
                raise RuntimeError(f"curl fetched {out[1]} bytes")
            curl.append(float(out[0]))
            engine.append(run_download_bench(wine_run, test, scratch))
            bare.append(run_download_bench(wine_run, test, scratch, "bare"))
            unhashed.append(run_download_bench(wine_run, test, scratch, "nohash"))
            own.append(run_download_bench(wine_run, test, scratch, "own"))
        # 64 MiB whole, against the same with the connection dropped twice (at 20 and 40 MiB),
        # resumed with ranges; the test build's pauses (0.05 s, then 0.1 s) count.
        tagged = {"body_size": RESUME_BYTES, "ranges": True, "headers": {"ETag": '"bench"'}}
        cut = dict(tagged, drop_after=20 * 1024 * 1024)
        for _ in range(runs):
            post_control(ca, "scenario", {"path": "/f/resume-bench.bin", "steps": [tagged]})
            whole.append(run_download_bench(wine_run, test, scratch, url=RESUME_URL, size=RESUME_BYTES))
            post_control(ca, "scenario", {"path": "/f/resume-bench.bin", "steps": [cut, cut, tagged]})
            dropped.append(run_download_bench(wine_run, test, scratch, url=RESUME_URL, size=RESUME_BYTES))
    finally:
        harness.stop(quiet=True)
        shutil.rmtree(scratch, ignore_errors=True)
    mib = BENCH_BYTES / (1024 * 1024)
    best_curl = min(curl)
    best_engine = min(engine)[0]
    best_bare = min(bare)[0]
    print(f"download of {mib:.0f} MiB from the reference service over loopback ({Path(test).name}, best of {runs}):")
    print(f"  curl               {best_curl:7.2f} s  {mib / best_curl:7.1f} MiB/s")
    print(f"  bare WinHTTP loop  {best_bare:7.2f} s  {mib / best_bare:7.1f} MiB/s")
    print(f"  DownloadFile       {best_engine:7.2f} s  {mib / best_engine:7.1f} MiB/s")
    print(f"download throughput ratio DownloadFile / bare WinHTTP loop (tracked): {best_bare / best_engine:.2f}")
    print(f"download throughput ratio bare WinHTTP loop / curl (the platform's): {best_curl / best_bare:.2f}")
    peaks = ", ".join(f"{before / 1048576:.1f} -> {after / 1048576:.1f} MiB" for _, before, after in engine)
    print(f"peak working set of the downloading process, before -> after each download: {peaks}")
    best_unhashed = min(unhashed)[0]
    best_own = min(own)[0]
    print(f"the file's SHA-256 while writing ({mib:.0f} MiB, best of {runs}): without {best_unhashed:.2f} s, "
          f"the CNG provider (used) {best_engine:.2f} s, our SHA-256 {best_own:.2f} s")
    print(f"download time ratio with the CNG provider / without (tracked): {best_engine / best_unhashed:.2f}")
    print(f"download time ratio with our SHA-256 / without: {best_own / best_unhashed:.2f}")
    best_whole = min(whole)[0]
    best_dropped = min(dropped)[0]
    print(f"download of {RESUME_BYTES // 1048576} MiB (best of {runs}): whole {best_whole:.2f} s, "
          f"dropped twice and resumed {best_dropped:.2f} s")
    print(f"download time ratio dropped twice / whole (tracked, goal <= 1.2): {best_dropped / best_whole:.2f}")


RUN_PRODUCT_BYTES = 50 * 1024 * 1024
RUN_OFFER_BYTES = 5 * 1024 * 1024
RUN_OFFERS = ("a", "b")


def run_document():
    offers = [{"ad": {"o": f"bench-{name}", "f": f"tok-{name}"},
               "ps": {"i": f"offer{number}.png", "dn": f"Bench Offer {name.upper()}",
                      "u": f"https://localhost/f/bench/offer-{name}/setup.exe", "p": f"/id={name}",
                      "cp": "https://localhost/privacy", "ctu": "https://localhost/terms", "v": number}}
              for number, name in enumerate(RUN_OFFERS, 1)]
    return {"l": "US",
            "i": {"ct": "Bench", "cu": "https://localhost/f/bench/product.exe", "cl": "https://localhost/f/logo.png",
                  "cf": "BenchProduct.exe", "cp": "https://localhost/privacy", "ctu": "https://localhost/terms"},
            "f": {"a": "pub-bench", "m": 3},
            "o": offers}


def dlm_run_report(test, runs=3):
    """A whole download-manager run driven by the UI driver (language page to finish page, both
    offers accepted) against curl fetching the same three files, interleaved; the wizard's peak
    working set against the smallest dialog program's."""
    harness = Harness(test)
    harness.start(arches=["win64"], nginx=False)
    ca = harness.dir / "ca" / "ca.pem"
    content = harness.dir / "service" / "content" / "bench"
    records = harness.dir / "home" / "bench-installers"
    product = next((harness.dir / "prefix-win64").glob("drive_c/users/*/Downloads"), None)
    wine_run = str(Path(test) / "harness" / "wine-run")
    urls = ["https://localhost/f/bench/product.exe"] + [f"https://localhost/f/bench/offer-{n}/setup.exe"
                                                        for n in RUN_OFFERS]
    curl_times, wizard_runs = [], []
    try:
        # The offers are test installers padded to size, so the run really starts them; the
        # product is a generated body, saved and never run.
        installer = (harness.dir / "service" / "content" / "install" / "test_installer.exe").read_bytes()
        for name in RUN_OFFERS:
            (content / f"offer-{name}").mkdir(parents=True, exist_ok=True)
            (content / f"offer-{name}" / "setup.exe").write_bytes(installer.ljust(RUN_OFFER_BYTES, b"\0"))
        env = dict(os.environ, BRINDLE_INSTALLER_LOG=windows_path(records))
        for _ in range(runs):
            post_control(ca, "reset", {})
            post_control(ca, "scenario", {"path": "/o", "steps": [{"body": json.dumps(run_document())}]})
            post_control(ca, "scenario", {"path": "/f/bench/product.exe",
                                          "steps": [{"body_size": RUN_PRODUCT_BYTES}] * 2})
            started = time.monotonic()
            sizes = subprocess.run(["curl", "-sS", "--cacert", str(ca), "-w", "%{size_download}\n"] +
                                   [arg for url in urls for arg in ("-o", "/dev/null", url)],
                                   capture_output=True, text=True, timeout=600, check=True).stdout.split()
            curl_times.append(time.monotonic() - started)
            if [int(size) for size in sizes] != [RUN_PRODUCT_BYTES] + [RUN_OFFER_BYTES] * len(RUN_OFFERS):
                raise RuntimeError(f"curl fetched {sizes}")
            shutil.rmtree(records, ignore_errors=True)
            records.mkdir(parents=True)
            result = subprocess.run([wine_run, str(Path(test) / "tests" / "dlm_run_bench.exe"),
                                     windows_path(Path(test) / "Brindle.exe"), str(len(RUN_OFFERS)),
                                     windows_path(Path(test) / "tests" / "baseline_dialog.exe")],
                                    env=env, capture_output=True, text=True, timeout=600)
            fields = result.stdout.split()
            if result.returncode != 0 or len(fields) != 5:
                raise RuntimeError(f"dlm_run_bench failed: {result.stdout} {result.stderr}")
            saved = product / "BenchProduct.exe" if product else None
            if saved is None or saved.stat().st_size != RUN_PRODUCT_BYTES:
                raise RuntimeError("the wizard did not save the whole product")
            saved.unlink()
            # The offers are started without waiting; each writes its record as it starts.
            deadline = time.monotonic() + 30
            while len(list(records.glob("*.log"))) < len(RUN_OFFERS) and time.monotonic() < deadline:
                time.sleep(0.2)
            if len(list(records.glob("*.log"))) != len(RUN_OFFERS):
                raise RuntimeError("the wizard did not start both offers")
            wizard_runs.append((float(fields[0]), float(fields[1]), int(fields[2]), int(fields[3]), int(fields[4])))
    finally:
        harness.stop(quiet=True)
        shutil.rmtree(content, ignore_errors=True)
        shutil.rmtree(records, ignore_errors=True)
    best_curl = min(curl_times)
    best_wizard = min(wizard_runs)
    mib = 1024 * 1024
    print(f"whole DLM run under Wine ({Path(test).name}, best of {runs}, interleaved): a "
          f"{RUN_PRODUCT_BYTES // mib} MiB product and {len(RUN_OFFERS)} offers of {RUN_OFFER_BYTES // mib} MiB "
          "from the reference service")
    print(f"  curl, the same three files          {best_curl:7.2f} s")
    print(f"  wizard, language page to finish     {best_wizard[0]:7.2f} s  (loading, welcome, "
          f"{len(RUN_OFFERS)} offers accepted, downloads, offers started)")
    print(f"  wizard, its download page alone     {min(run[1] for run in wizard_runs):7.2f} s  (last Accept to the "
          "finish page)")
    print(f"whole-run time ratio wizard / curl: {best_wizard[0] / best_curl:.2f}")
    print(f"download page time ratio wizard / curl: {min(run[1] for run in wizard_runs) / best_curl:.2f}")
    largest = [max(run[index] for run in wizard_runs) / mib for index in (2, 3, 4)]
    print(f"peak working set of the wizard: {largest[0]:.1f} MiB at the language page, {largest[1]:.1f} MiB by the "
          f"finish page; the baseline dialog's {largest[2]:.1f} MiB (largest of {runs})")


BENCH_OFFERS = 1000
BENCH_VENDORS = 10000


def eligibility_report(test, rounds=2):
    """Offers evaluated against a registry with many keys below one software root, with the
    evaluator's registry caches (software listings, keys and values read) and without them (every
    key opened each time it is asked about), in one process."""
    harness = Harness(test)
    harness.start()
    reg_file = harness.dir / "home" / "bench-vendors.reg"
    try:
        lines = ["Windows Registry Editor Version 5.00", ""]
        for number in range(BENCH_VENDORS):
            lines += [f"[HKEY_LOCAL_MACHINE\\SOFTWARE\\BenchVendor{number:05d}]", ""]
        reg_file.write_text("\r\n".join(lines) + "\r\n", encoding="utf-16")
        arch = harness.load_state()["arches"][0]
        harness.wine(arch, "C:\\windows\\system32\\reg.exe", "import", windows_path(reg_file), "/reg:64",
                     log_name="bench-reg.log", timeout=600)
        wine_run = str(Path(test) / "harness" / "wine-run")
        result = subprocess.run([wine_run, str(Path(test) / "tests" / "eligibility_bench.exe"), str(BENCH_OFFERS),
                                 str(BENCH_VENDORS), str(rounds)], capture_output=True, text=True, timeout=1800,
                                check=True)
    finally:
        harness.stop(quiet=True)
        reg_file.unlink(missing_ok=True)
    runs = {}
    for line in result.stdout.splitlines():
        mode, seconds, enumerations, opens, accepted = line.split()
        if int(accepted) != BENCH_OFFERS:
            raise RuntimeError(f"eligibility_bench accepted {accepted} of {BENCH_OFFERS} offers")
        best = runs.get(mode)
        if best is None or float(seconds) < best[0]:
            runs[mode] = (float(seconds), int(enumerations), int(opens))
    print(f"eligibility of {BENCH_OFFERS} offers (20 keys below software and 3 files each), "
          f"{BENCH_VENDORS} keys below HKLM\\Software ({Path(test).name}, best of {rounds}):")
    for mode, label in (("cache", "with the caches"), ("nocache", "without them")):
        seconds, enumerations, opens = runs[mode]
        print(f"  {label:<16} {seconds:7.3f} s  {enumerations:>3} enumerations  {opens:>7} registry opens")
    print(f"eligibility time ratio with / without the caches: {runs['cache'][0] / runs['nocache'][0]:.2f}")


REPORTS = ("size", "startup", "download", "run", "eligibility")


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    release, test = sys.argv[1], sys.argv[2]
    extra = sys.argv[3:]
    runs = int(extra.pop(0)) if extra and extra[0].isdigit() else 30
    chosen = extra or REPORTS
    unknown = [name for name in chosen if name not in REPORTS]
    if unknown:
        print(f"unknown report {', '.join(unknown)}; choose from {', '.join(REPORTS)}", file=sys.stderr)
        return 2
    if "size" in chosen:
        size_report(Path(release) / "Brindle.exe")
    if "startup" in chosen:
        startup_report(test, runs)
    if "download" in chosen:
        download_report(test)
    if "run" in chosen:
        dlm_run_report(test)
    if "eligibility" in chosen:
        eligibility_report(test)
    return 0


if __name__ == "__main__":
    sys.exit(main())
