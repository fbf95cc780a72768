"""Reads and writes every file given on the command line with python3-mido, several rounds, and
prints MB/s of file bytes for each direction and both together."""
import io
import sys
import time

import mido

paths = sys.argv[1:]
datas = [open(path, "rb").read() for path in paths]
total = sum(len(data) for data in datas)


def rate(work):
    rounds, start = 0, time.perf_counter()
    while True:
        work()
        rounds += 1
        elapsed = time.perf_counter() - start
        if elapsed >= 2 and rounds >= 3:
            return rounds * total / elapsed / 1e6


def decode_all():
    return [mido.MidiFile(file=io.BytesIO(data)) for data in datas]


parsed = decode_all()
decode = rate(decode_all)
encode = rate(lambda: [song.save(file=io.BytesIO()) for song in parsed])
both = rate(lambda: [song.save(file=io.BytesIO()) for song in decode_all()])
print("mido decode %.2f MB/s encode %.2f MB/s decode+encode %.2f MB/s (%d files, %d bytes)"
      % (decode, encode, both, len(datas), total))
