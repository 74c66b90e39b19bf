"""Screenshots of Wine windows on the harness's virtual display, and the pixels in them.

    screen = Screen(build_tree)        # the harness of that build tree must be running
    x, y, w, h = screen.capture("Setup", "out/setup.png")
    image = read_pixels("out/setup.png"); image.pixel(10, 10) -> (r, g, b)

Windows are found by title through the test tree's uidriver.exe; the capture is a crop of the
X root window, which is where Wine's virtual desktop puts them.
"""
import subprocess
import tempfile
import time
from pathlib import Path

from harness import Harness


class Screen:
    def __init__(self, build):
        self.build = Path(build).resolve()
        self.harness = Harness(self.build)
        self.wine_run = str(self.build / "harness" / "wine-run")
        self.uidriver = str(self.build / "tests" / "uidriver.exe")

    def driver(self, *args, check=True, timeout=120):
        # Output goes to files, not pipes: a Wine process started on the way (the desktop
        # process, when none is running) inherits the handles and would hold a pipe open.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run([self.wine_run, self.uidriver, *args], stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=err, timeout=timeout).returncode
            out.seek(0)
            err.seek(0)
            stdout, stderr = out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace")
        if check and code != 0:
            raise RuntimeError(f"uidriver {' '.join(args)}: {stderr.strip()}")
        return stdout.strip()

    def window_rect(self, title, timeout_ms=15000):
        """Screen rectangle (x, y, width, height) of the window, once it exists."""
        out = self.driver("wait", "--title", title, "--timeout", str(timeout_ms))
        return tuple(int(v) for v in out.split())

    def capture(self, title, path, settle=0.5):
        """Saves the window with that title as a PNG; returns its rectangle."""
        x, y, width, height = self.window_rect(title)
        time.sleep(settle)  # let the window finish painting
        display = self.harness.load_state()["display"]
        Path(path).parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["import", "-display", display, "-window", "root", "-crop", f"{width}x{height}+{x}+{y}",
                        "+repage", str(path)], check=True, stdin=subprocess.DEVNULL)
        return x, y, width, height


class Pixels:
    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def pixel(self, x, y):
        offset = (y * self.width + x) * 3
        return tuple(self.data[offset:offset + 3])


def read_pixels(path):
    """The RGB pixels of an image file (through ImageMagick's stream)."""
    size = subprocess.run(["identify", "-format", "%w %h", str(path)], capture_output=True, text=True, check=True)
    width, height = (int(v) for v in size.stdout.split())
    data = subprocess.run(["stream", "-map", "rgb", "-storage-type", "char", str(path), "-"], capture_output=True,
                          check=True).stdout
    if len(data) != width * height * 3:
        raise RuntimeError(f"{path}: expected {width * height * 3} bytes of pixels, got {len(data)}")
    return Pixels(width, height, data)
