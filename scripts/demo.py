#!/usr/bin/env python3
"""Runs the wizard under Wine on a virtual display against the reference service, tells what
happened and saves a screenshot of each window it sees under OUT.

    demo.py BUILD_TREE OUT
"""
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "harness"))
from harness import windows_path  # noqa: E402
from screenshot import Screen  # noqa: E402


class Demo:
    def __init__(self, build, out):
        self.screen = Screen(build)
        self.harness = self.screen.harness
        self.build = Path(build).resolve()
        self.out = Path(out).resolve()
        self.out.mkdir(parents=True, exist_ok=True)
        self.wine_run = self.screen.wine_run
        self.shots = 0

    def say(self, text):
        print(f"demo: {text}", flush=True)

    def driver(self, *args, check=True):
        return self.screen.driver(*args, check=check)

    def screenshot(self, title, name):
        self.shots += 1
        path = self.out / f"{self.shots:02d}-{name}.png"
        self.screen.capture(title, path)
        self.say(f"screenshot of \"{title}\" saved as {path.relative_to(self.out.parent)}")

    def run(self):
        self.say("starting the virtual display, a fresh Wine prefix and the reference service")
        self.harness.start()
        try:
            wizard_path = self.build / "Brindle.exe"
            self.say(f"starting {wizard_path.name} ({windows_path(wizard_path)})")
            log = open(self.out / "wizard.log", "wb")
            wizard = subprocess.Popen([self.wine_run, str(wizard_path)], stdout=log, stderr=log)
            self.driver("wait", "--title", "Setup", "--timeout", "30000")
            self.say("the main dialog is open with the title \"Setup\"")
            self.screenshot("Setup", "main-dialog")

            self.driver("post", "--title", "Setup", "--msg", "0x0112", "--wparam", "0x0010")
            version = self.driver("text", "--title", "About Brindle", "--id", "1045")
            self.say(f"the About box says \"{version}\"")
            self.screenshot("About Brindle", "about-box")
            self.driver("click", "--title", "About Brindle", "--id", "1")

            self.driver("close", "--title", "Setup")
            code = wizard.wait(timeout=60)
            self.say(f"the wizard closed cleanly (exit code {code})")

            # The wizard's pages come with the page sequence; until then the page viewer shows
            # the page frame, the pictures and bound texts in two languages.
            viewer_path = self.build / "tests" / "page_viewer.exe"
            for language in ("English", "Deutsch"):
                viewer = subprocess.Popen([self.wine_run, str(viewer_path), "--language", language],
                                          stdin=subprocess.DEVNULL, stdout=log, stderr=log)
                self.driver("wait", "--title", "Brindle page viewer", "--timeout", "30000")
                next_text = self.driver("text", "--title", "Brindle page viewer", "--id", "1010")
                self.say(f"the test page in {language}: the Next button says \"{next_text}\"")
                self.screenshot("Brindle page viewer", f"page-{language.lower()}")
                self.driver("close", "--title", "Brindle page viewer")
                viewer.wait(timeout=60)
        finally:
            self.harness.stop(quiet=True)
        self.say(f"{self.shots} screenshots in {self.out}")


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    Demo(sys.argv[1], sys.argv[2]).run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
