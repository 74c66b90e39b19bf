"""Debian's Chromium, headless, for looking at the reference service's pages.

    browser = Browser(ca_pem, scratch_folder)
    html = browser.dom("https://localhost/report")
    browser.screenshot("https://localhost/report", "out/report.png")

The test CA is trusted only through a private profile: a HOME of its own whose NSS database
(made by certutil) holds it. Each load gets a new, empty user-data folder.
"""
import os
import shutil
import signal
import subprocess
import tempfile
from pathlib import Path

CHROMIUM = "/usr/lib/chromium/chromium"  # the binary; Debian's wrapper script adds flags of its own
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"]


class Browser:
    def __init__(self, ca_pem, folder):
        self.folder = Path(folder)
        self.home = self.folder / "home"
        shutil.rmtree(self.home, ignore_errors=True)
        nssdb = self.home / ".pki" / "nssdb"
        nssdb.mkdir(parents=True)
        subprocess.run(["certutil", "-N", "-d", f"sql:{nssdb}", "--empty-password"], check=True,
                       stdin=subprocess.DEVNULL, capture_output=True)
        subprocess.run(["certutil", "-A", "-d", f"sql:{nssdb}", "-n", "Brindle Test CA", "-t", "C,,", "-i",
                        str(ca_pem)], check=True, stdin=subprocess.DEVNULL, capture_output=True)

    def run(self, url, *arguments, timeout=60):
        """Chromium's standard output for one load."""
        with tempfile.TemporaryDirectory(dir=self.folder, prefix="profile-") as profile:
            env = {"HOME": str(self.home), "PATH": "/usr/bin:/bin", "LANG": "C.UTF-8"}
            # A group of its own: Chromium's helper processes go with it when it must be stopped.
            process = subprocess.Popen([CHROMIUM, *FLAGS, f"--user-data-dir={profile}", *arguments, url], env=env,
                                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                       start_new_session=True)
            try:
                out, err = process.communicate(timeout=timeout)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.communicate()
                raise RuntimeError(f"chromium did not finish loading {url} within {timeout} s") from None
        if process.returncode != 0:
            raise RuntimeError(f"chromium failed ({process.returncode}): {err.decode(errors='replace')}")
        return out.decode("utf-8", "replace")

    def dom(self, url):
        """The page's DOM after loading, serialised."""
        return self.run(url, "--dump-dom")

    def screenshot(self, url, path, width=1100, height=1400):
        path = Path(path).resolve()
        path.parent.mkdir(parents=True, exist_ok=True)
        path.unlink(missing_ok=True)
        self.run(url, f"--screenshot={path}", f"--window-size={width},{height}")
        if not path.is_file():
            raise RuntimeError(f"chromium wrote no screenshot to {path}")
        return path
