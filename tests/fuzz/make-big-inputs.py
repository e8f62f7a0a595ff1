#!/usr/bin/env python3
"""Writes inputs of 4 MiB into the folder given, one file per shape that has hurt a parser or
could: random bytes, one repeated separator, deep nesting, the same token over and over. Every
fuzz target reads all of them (scripts/fuzz); none may crash, take 10 s or allocate 64 MiB at once.

Shapes named after a finding (see tests/fuzz/README.md) keep that finding from coming back:
  spaces            event text of blanks only: split into four million pieces (96 MiB of list)
  plist-arrays      <array> nested 600,000 deep: libplist's recursion overflowed the stack
  plist-dicts       <dict> nested the same way
"""
import os
import sys

SIZE = 4 * 1024 * 1024


def repeated(token):
    return (token * (SIZE // len(token) + 1))[:SIZE]


SHAPES = {
    "random": lambda: os.urandom(SIZE),
    "spaces": lambda: repeated(b" "),
    "newlines": lambda: repeated(b"\n"),
    "nul": lambda: repeated(b"\0"),
    "json-arrays": lambda: repeated(b"["),
    "json-objects": lambda: repeated(b'{"a":'),
    "json-strings": lambda: b"[" + repeated(b'"\\u00e9",')[: SIZE - 2] + b"]",
    "plist-arrays": lambda: repeated(b"<array>"),
    "plist-dicts": lambda: repeated(b"<dict><key>k</key>"),
    "plist-strings": lambda: b"<plist><dict>" + repeated(b"<key>k</key><string>v</string>")[: SIZE - 40] + b"</dict></plist>",
    "zip-headers": lambda: repeated(b"PK\x03\x04"),
    "zip-central": lambda: repeated(b"PK\x01\x02"),
    "event-pieces": lambda: repeated(b"a ci=a "),
    "open-lines": lambda: repeated(b"open qsd://crashInfo\r\n"),
}

folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)
for name, make in SHAPES.items():
    path = os.path.join(folder, name)
    if not os.path.exists(path) or os.path.getsize(path) != SIZE:
        with open(path, "wb") as f:
            f.write(make())
