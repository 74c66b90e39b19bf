#!/usr/bin/env python3
"""Redraws the sample pictures in content/ with ImageMagick: the product logo and three offer
banners, each at the size the wizard shows it, so nothing is stretched or blurred.

The wizard draws a picture stretched to its control: offer pictures fill 546 x 320 px and the
product logo 70 x 80 px (28 x 32 px in the header) in the test prefix's dialog font.
"""

import os
import subprocess

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "content")
BANNER = (546, 320)
LOGO = (140, 160)  # twice the welcome page's control, same proportions

OFFERS = {
    "offer1.png": ("Photo Tool", "Edit and share your photos in seconds", ("#43A047", "#1B5E20"), "camera"),
    "offer2.png": ("Notes App", "All your notes, on every device", ("#FB8C00", "#E65100"), "notes"),
    "offer3.png": ("Weather App", "Forecasts for where you are, every hour", ("#5C6BC0", "#283593"), "weather"),
}

ICONS = {
    "camera": ["fill #FFFFFF", "roundrectangle 54,112 186,208 18,18", "fill #1B5E20", "circle 120,160 120,190",
               "fill #FFFFFF", "circle 120,160 120,178", "roundrectangle 92,100 148,116 6,6"],
    "notes": ["fill #FFFFFF", "roundrectangle 66,90 174,230 12,12", "fill #FFB74D",
              "rectangle 84,118 156,124", "rectangle 84,140 156,146", "rectangle 84,162 156,168",
              "rectangle 84,184 132,190"],
    "weather": ["fill #FFD54F", "circle 100,140 100,176", "fill #FFFFFF", "circle 112,186 112,212",
                "circle 146,176 146,210", "circle 176,192 176,214", "roundrectangle 88,190 196,224 17,17"],
}


def convert(*args):
    subprocess.run(["convert", *args], check=True)


def banner(name, title, tagline, colours, icon):
    width, height = BANNER
    draw = []
    for step in ICONS[icon]:
        draw += ["-draw", step] if not step.startswith("fill ") else ["-fill", step.split()[1]]
    convert("-size", f"{width}x{height}", f"gradient:{colours[0]}-{colours[1]}",
            "-fill", "#FFFFFF22", "-draw", f"circle {width - 40},20 {width + 40},20",
            *draw,
            "-fill", "white", "-font", "DejaVu-Sans-Bold", "-pointsize", "38", "-annotate", "+220+150", title,
            "-font", "DejaVu-Sans", "-pointsize", "15", "-annotate", "+222+182", tagline,
            "-fill", "#FFFFFF", "-draw", "roundrectangle 222,214 342,250 18,18",
            "-fill", colours[1], "-font", "DejaVu-Sans-Bold", "-pointsize", "17", "-annotate", "+262+238", "Free",
            "-strip", os.path.join(OUT, name))


def logo():
    width, height = LOGO
    top = (height - width) // 2
    convert("-size", f"{width}x{height}", "xc:none",
            "-fill", "#0277BD", "-draw", f"roundrectangle 6,{top + 6} {width - 7},{top + width - 7} 30,30",
            "-fill", "white", "-font", "DejaVu-Sans-Bold", "-pointsize", "92", "-gravity", "center",
            "-annotate", "+0+2", "T", "-strip", os.path.join(OUT, "logo.png"))


def main():
    for name, (title, tagline, colours, icon) in OFFERS.items():
        banner(name, title, tagline, colours, icon)
    logo()


if __name__ == "__main__":
    main()
