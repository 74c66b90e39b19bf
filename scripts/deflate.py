#!/usr/bin/env python3
"""Stores a resource file deflated (zlib format) for the wizard to inflate: deflate.py IN OUT."""
import sys
import zlib
from pathlib import Path

source, target = Path(sys.argv[1]), Path(sys.argv[2])
target.parent.mkdir(parents=True, exist_ok=True)
target.write_bytes(zlib.compress(source.read_bytes(), 9))
