#!/usr/bin/env python3
"""Writes a large one-part MusicXML score by repeating the measures of real scores.

    make_large_score.py <output> [--bytes N] [--from DIR]

The header (work, identification, part list) of the first score in DIR is kept; the measures of
every score in DIR are then appended in turn, renumbered from 1, until the text holds at least N
bytes (default 14,000,000). The measures keep their layout, indentation and attributes, so the
result has the mix of elements, attributes, text and white space of an exported score.
"""
import argparse
import pathlib
import re
import sys

MEASURE = re.compile(r"[ \t]*<measure\b.*?</measure>\n", re.S)
NUMBER = re.compile(r'(<measure\b[^>]*?\bnumber=")[^"]*(")')


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--bytes", type=int, default=14_000_000)
    parser.add_argument("--from", dest="source", default="/work/shared/testdata/musicxml")
    args = parser.parse_args()

    scores = sorted(pathlib.Path(args.source).glob("*.musicxml"))
    if not scores:
        print(f"no .musicxml scores in {args.source}", file=sys.stderr)
        return 1
    texts = [s.read_text(encoding="utf-8") for s in scores]
    first = texts[0]
    head = first[: MEASURE.search(first).start()]
    tail = first[first.rfind("\n", 0, first.rfind("</part>")) + 1 :]
    bodies = [MEASURE.findall(t) for t in texts]

    out = [head]
    size = len(head.encode()) + len(tail.encode())
    number = 0
    while size < args.bytes:
        for measures in bodies:
            for measure in measures:
                number += 1
                text = NUMBER.sub(lambda m: f"{m.group(1)}{number}{m.group(2)}", measure, count=1)
                out.append(text)
                size += len(text.encode())
    out.append(tail)
    pathlib.Path(args.output).write_text("".join(out), encoding="utf-8")
    print(f"{args.output}: {size} bytes, {number} measures")
    return 0


if __name__ == "__main__":
    sys.exit(main())
