#!/usr/bin/env python3
"""Photographs the test page in the page viewer, in English and in German, and checks what the
pictures show: each picture fills its control in its own colour, the empty picture shows only
the page background, the accent band runs under the buttons, and the bound texts follow the
language. The screenshots stay in OUT for people to look at.

    page_screenshots.py --build BUILD_TREE --viewer PAGE_VIEWER_EXE --out OUT
"""
import argparse
import json
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "harness"))
from harness import windows_path  # noqa: E402
from screenshot import Screen, read_pixels  # noqa: E402

TITLE = "Brindle page viewer"
BACKGROUND = (250, 250, 250)
ACCENT = (2, 119, 189)

IDS = {"text": 2001, "missing": 2002, "download": 2011, "success": 2012, "failure": 2013, "empty": 2014,
       "next": 1010, "band": 1002}

LANGUAGES = [
    ("English", "en", "Next",
     "To continue, please select your preferred language, and click \"Next\"."),
    ("Deutsch", "de", "Weiter",
     "Wählen Sie die gewünschte Sprache aus und klicken Sie auf „Weiter“, um fortzufahren."),
]

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print(f"FAIL: {message}", flush=True)


def near(a, b, tolerance=12):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def dominant(rgb):
    r, g, b = rgb
    if r > g + 60 and r > b + 60:
        return "red"
    if g > r + 40 and g > b + 20:
        return "green"
    if b > r + 60 and b > g + 20:
        return "blue"
    return "other"


def point(rect, fx, fy):
    x, y, w, h = rect
    return int(x + fx * (w - 1)), int(y + fy * (h - 1))


def check_page(name, shot, layout):
    pixels = read_pixels(shot)
    controls = {int(k): v for k, v in layout["controls"].items()}

    def at(control, fx, fy):
        return pixels.pixel(*point(controls[IDS[control]], fx, fy))

    # Each picture is stretched over its whole control: its disc reaches the control's edges
    # at the middle of each side, whatever the control's shape.
    for picture, colour in (("download", "blue"), ("success", "green"), ("failure", "red")):
        for fx, fy in ((0.5, 0.04), (0.5, 0.96), (0.04, 0.5), (0.96, 0.5)):
            check(dominant(at(picture, fx, fy)) == colour,
                  f"{name}: {picture} picture at ({fx}, {fy}) is {at(picture, fx, fy)}, not {colour}")
        check(near(at(picture, 0.01, 0.01), BACKGROUND),
              f"{name}: {picture} picture's transparent corner shows {at(picture, 0.01, 0.01)}")
    for fx in (0.1, 0.5, 0.9):
        for fy in (0.1, 0.5, 0.9):
            check(near(at("empty", fx, fy), BACKGROUND),
                  f"{name}: the picture without an image shows {at('empty', fx, fy)} at ({fx}, {fy})")
    check(near(at("band", 0.02, 0.5), ACCENT), f"{name}: the bottom band shows {at('band', 0.02, 0.5)}")
    check(near(at("band", 0.5, 0.9), ACCENT), f"{name}: the bottom band shows {at('band', 0.5, 0.9)}")
    check(not near(at("next", 0.5, 0.5), ACCENT), f"{name}: the band covers the Next button")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--viewer", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    out = Path(args.out).resolve()
    out.mkdir(parents=True, exist_ok=True)
    screen = Screen(args.build)

    for language, tag, next_text, splash_text in LANGUAGES:
        layout_file = out / f"test-page-{tag}.json"
        layout_file.unlink(missing_ok=True)
        log = open(out / f"page-viewer-{tag}.log", "wb")
        viewer = subprocess.Popen([screen.wine_run, args.viewer, "--language", language,
                                   "--layout", windows_path(layout_file)],
                                  stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        try:
            shot = out / f"test-page-{tag}.png"
            screen.capture(TITLE, shot)
            print(f"screenshot of the test page in {language}: {shot}", flush=True)
            layout = json.loads(layout_file.read_text())
            check_page(language, shot, layout)
            check(screen.driver("text", "--title", TITLE, "--id", str(IDS["next"])) == next_text,
                  f"{language}: the Next button does not say {next_text!r}")
            check(screen.driver("text", "--title", TITLE, "--id", str(IDS["text"])) == splash_text,
                  f"{language}: the bound text is not {splash_text!r}")
            check(screen.driver("text", "--title", TITLE, "--id", str(IDS["missing"])) == "kept template text",
                  f"{language}: a key no document has changed the template text")
            screen.driver("close", "--title", TITLE)
            code = viewer.wait(timeout=60)
            check(code == 0, f"{language}: the viewer ended with {code}")
        finally:
            if viewer.poll() is None:
                viewer.kill()
                viewer.wait()
            log.close()

    print(f"{len(failures)} failure(s)" if failures else "all checks passed", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
