#!/usr/bin/env python3
"""Writes the C++ table of manufacturer names from the tab-separated manufacturer ID list.

Usage: generate_manufacturer_names.py <list.tsv> <output.cpp>

The list has a header line "id<TAB>name", then one row per ID: the ID bytes in hexadecimal (one
byte 01...7D, or three bytes 00 b2 b3 with b2 and b3 below 80, separated by blanks), a tab and the
company name. Any other shape, an empty name or a repeated ID stops the build with a message.
"""

import sys


def fail(path, line_number, message):
    sys.exit(f"{path}:{line_number}: {message}")


def parse_key(text, path, line_number):
    parts = text.split(" ")
    try:
        key = [int(p, 16) for p in parts]
    except ValueError:
        fail(path, line_number, f"ID '{text}' is not hexadecimal bytes")
    if any(len(p) != 2 for p in parts):
        fail(path, line_number, f"ID '{text}' is not written as two-digit bytes")
    if len(key) == 1:
        if not 0x01 <= key[0] <= 0x7D:
            fail(path, line_number, f"one-byte ID {text} is outside 01...7D")
    elif len(key) == 3:
        if key[0] != 0 or key[1] > 0x7F or key[2] > 0x7F:
            fail(path, line_number, f"three-byte ID {text} is not 00 followed by two 7-bit bytes")
    else:
        fail(path, line_number, f"ID '{text}' has neither one nor three bytes")
    return key


def cpp_string(text):
    # Octal escapes for everything but printable ASCII, so the literal is the file's UTF-8 bytes.
    out = []
    for byte in text.encode("utf-8"):
        char = chr(byte)
        if char in '"\\?':
            out.append("\\" + char)
        elif 0x20 <= byte < 0x7F:
            out.append(char)
        else:
            out.append(f"\\{byte:03o}")
    return '"' + "".join(out) + '"'


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    source, target = sys.argv[1], sys.argv[2]
    with open(source, encoding="utf-8") as f:
        lines = f.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if not lines or lines[0].rstrip("\r") != "id\tname":
        fail(source, 1, "the header line must be 'id<TAB>name'")
    rows = {}
    for number, line in enumerate(lines[1:], start=2):
        line = line.rstrip("\r")
        fields = line.split("\t")
        if len(fields) != 2:
            fail(source, number, "a row must be an ID, one tab and a name")
        key = tuple(parse_key(fields[0], source, number))
        name = fields[1]
        if not name.strip():
            fail(source, number, "the name is empty")
        if key in rows:
            fail(source, number, f"ID {fields[0]} is listed twice")
        rows[key] = name
    ordered = sorted(rows.items(), key=lambda item: (len(item[0]), item[0]))
    body = []
    for key, name in ordered:
        padded = list(key) + [0] * (3 - len(key))
        bytes_text = ", ".join(f"0x{b:02X}" for b in padded)
        body.append(f"    {{{{{bytes_text}}}, {len(key)}, {cpp_string(name)}}},")
    text = "\n".join([
        "// Generated from midi-manufacturer-ids.tsv by generate_manufacturer_names.py; do not edit.",
        '#include "midi_core/events/manufacturer_names.hpp"',
        "",
        "namespace midicore::events {",
        "namespace {",
        "",
        f"constexpr SysExManufacturerNameRow rows[{len(ordered)}] = {{",
        *body,
        "};",
        "",
        "}  // namespace",
        "",
        "std::span<const SysExManufacturerNameRow> sysExManufacturerNames() { return rows; }",
        "",
        "}  // namespace midicore::events",
        "",
    ])
    with open(target, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
