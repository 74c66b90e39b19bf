#!/usr/bin/env python3
"""Fails when an include of src/ runs upward between the layers, or across the middle layer.

check_layers.py SRC_DIR

Layers, lowest first (docs/architecture.md): win32, ui, config, {i18n, offers, download,
install}, pages, app; tools/ (programs beside the wizard) stands beside pages. A file may include its own layer's headers and those of layers below;
layers of one rank do not include one another. resources/ (ids and templates) is open to
all. The one exception is config/BuildSettings.h's definition, compiled per wizard in app/,
which is not an include.
"""
import pathlib
import re
import sys

RANK = {"win32": 0, "ui": 1, "config": 2, "i18n": 3, "offers": 3, "download": 3, "install": 3, "pages": 4, "tools": 4, "app": 5}
INCLUDE = re.compile(r'^\s*#\s*include\s+"(\w+)/', re.M)


def main():
    src = pathlib.Path(sys.argv[1])
    problems = []
    for path in sorted(src.rglob("*")):
        layer = path.relative_to(src).parts[0]
        if path.suffix not in (".cpp", ".h") or layer not in RANK:
            continue
        for target in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            if target not in RANK or target == layer:
                continue
            if RANK[target] > RANK[layer] or RANK[target] == RANK[layer]:
                problems.append(f"{path.relative_to(src)} includes {target}/ (layer {layer} may not)")
    for problem in problems:
        print("upward include: " + problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
