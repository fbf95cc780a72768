"""Reads and writes Standard MIDI Files with mido, for the file tests.

  mido_tracks.py check LIST     LIST holds lines "<original> <rewritten> <reading>": a file, the
                                same file as written by the library and the library's reading of
                                it, one message per line: "<track> <absolute tick> <bytes in hex>"
                                (end-of-track left out; system exclusive as F0 ... F7). Prints a
                                line for every file whose reading differs from mido's or whose
                                rewritten form mido reads differently or not at all, then
                                "checked <count>".
  mido_tracks.py write DIR      Writes files made by mido into DIR, with and without running
                                status, and prints their paths.
"""
import os
import sys

import mido
from mido.midifiles import midifiles


def reading(path):
    lines = []
    for number, track in enumerate(mido.MidiFile(path).tracks):
        tick = 0
        for message in track:
            tick += message.time
            if message.type != "end_of_track":
                lines.append("%d %d %s" % (number, tick, bytes(message.bytes()).hex()))
    return lines


def first_difference(ours, theirs):
    for index, (a, b) in enumerate(zip(ours, theirs)):
        if a != b:
            return "message %d: %s, mido %s" % (index, a, b)
    return "%d messages, mido %d" % (len(ours), len(theirs))


def check(listing):
    count = 0
    with open(listing) as entries:
        for entry in entries:
            original, rewritten, ours_path = entry.split()
            count += 1
            try:
                theirs = reading(original)
            except Exception as error:  # any refusal is reported, not raised
                print(original, "mido refuses the original:", type(error).__name__)
                continue
            with open(ours_path) as ours_file:
                ours = ours_file.read().splitlines()
            if ours != theirs:
                print(original, "read differently:", first_difference(ours, theirs))
            try:
                again = reading(rewritten)
            except Exception as error:
                print(original, "mido refuses our file:", type(error).__name__)
                continue
            if again != theirs:
                print(original, "our file reads differently:", first_difference(again, theirs))
    print("checked", count)


def write_track_without_running_status(outfile, track):
    data = bytearray()
    for message in midifiles.fix_end_of_track(track):
        data.extend(midifiles.encode_variable_int(message.time))
        if message.type == "sysex":
            data.append(0xF0)
            data.extend(midifiles.encode_variable_int(len(message.data) + 1))
            data.extend(message.data)
            data.append(0xF7)
        else:
            data.extend(message.bytes())
    midifiles.write_chunk(outfile, b"MTrk", data)


def song():
    conductor = mido.MidiTrack([
        mido.MetaMessage("track_name", name="Conductor"),
        mido.MetaMessage("copyright", text="(c) nobody"),
        mido.MetaMessage("time_signature", numerator=6, denominator=8),
        mido.MetaMessage("key_signature", key="Bbm"),
        mido.MetaMessage("set_tempo", tempo=428571),
        mido.MetaMessage("smpte_offset", frame_rate=25, hours=1, minutes=2, seconds=3,
                         frames=4, sub_frames=5),
        mido.MetaMessage("marker", text="A", time=960),
        mido.MetaMessage("set_tempo", tempo=500000, time=100000),
    ])
    # Latin-1 texts, which mido writes as they are.
    conductor.append(mido.MetaMessage("copyright", text="\u00a9 1999 \u00c5se"))
    notes = mido.MidiTrack([mido.MetaMessage("instrument_name", name="Piano"),
                            mido.MetaMessage("track_name", name="M\u00e5ne")])
    notes.append(mido.Message("sysex", data=[0x7E, 0x7F, 0x09, 0x01]))
    notes.append(mido.Message("sysex", data=[0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00]))
    notes.append(mido.Message("sysex", data=[0x41] + [0x11] * 600))
    notes.append(mido.Message("sysex", data=[]))
    for channel in (0, 9, 15):
        notes.append(mido.Message("program_change", channel=channel, program=channel * 8))
        notes.append(mido.Message("control_change", channel=channel, control=7, value=100))
        # Pitch-bend range: an RPN written as separate controller events.
        for control, value in ((101, 0), (100, 0), (6, 12), (38, 0), (101, 127), (100, 127)):
            notes.append(mido.Message("control_change", channel=channel, control=control,
                                      value=value))
        for control, value in ((99, 1), (98, 8), (6, 64)):
            notes.append(mido.Message("control_change", channel=channel, control=control,
                                      value=value))
    # Parameter changes with and without the data-entry LSB that their named parameters would
    # give or take: pitch-bend range without cents, coarse tuning with an LSB.
    for control, value in ((101, 0), (100, 0), (6, 12), (101, 0), (100, 2), (6, 64), (38, 5)):
        notes.append(mido.Message("control_change", channel=3, control=control, value=value))
    for step, key in enumerate(range(21, 109, 3)):
        channel = step % 16
        notes.append(mido.Message("note_on", channel=channel, note=key, velocity=step + 1,
                                  time=step * 7))
        notes.append(mido.Message("polytouch", channel=channel, note=key, value=step))
        notes.append(mido.Message("aftertouch", channel=channel, value=127 - step))
        notes.append(mido.Message("pitchwheel", channel=channel, pitch=step * 250 - 8192))
        notes.append(mido.Message("note_on", channel=channel, note=key, velocity=0, time=240))
        notes.append(mido.Message("note_off", channel=channel, note=key, velocity=64))
    notes.append(mido.MetaMessage("sequencer_specific", data=[0x00, 0x00, 0x41, 0x01]))
    notes.append(mido.MetaMessage("lyrics", text="la la", time=0x0FFFFFFF))
    return mido.MidiFile(type=1, ticks_per_beat=480, tracks=[conductor, notes])


def write(directory):
    running = os.path.join(directory, "mido_running_status.mid")
    song().save(running)
    print(running)
    plain = os.path.join(directory, "mido_no_running_status.mid")
    original = midifiles.write_track
    midifiles.write_track = write_track_without_running_status
    try:
        song().save(plain)
    finally:
        midifiles.write_track = original
    print(plain)


if __name__ == "__main__":
    if sys.argv[1] == "check":
        check(sys.argv[2])
    else:
        write(sys.argv[2])
