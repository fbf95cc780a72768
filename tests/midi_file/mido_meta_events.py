"""Writes meta events with mido, one per line: kind, fields and the event's bytes in hex,
separated by "|". The test reads them with the library's decoders and writes them back."""
import mido
from mido.midifiles.meta import UnknownMetaMessage


def line(kind, fields, message):
    print("|".join([kind] + [str(f) for f in fields] + [bytes(message.bytes()).hex()]))


for number in (0, 1, 258, 32767):
    line("sequenceNumber", [number], mido.MetaMessage("sequence_number", number=number))
for channel in range(16):
    line("channelPrefix", [channel], mido.MetaMessage("channel_prefix", channel=channel))
for port in (0, 1, 64, 127):
    line("portPrefix", [port], mido.MetaMessage("midi_port", port=port))
# mido names keys; their sharps or flats and mode are the fields.
keys = {"C": (0, 1), "G": (1, 1), "C#": (7, 1), "F": (-1, 1), "Cb": (-7, 1),
        "Am": (0, 0), "F#m": (3, 0), "A#m": (7, 0), "Ebm": (-6, 0), "Abm": (-7, 0)}
for key, (accidentals, major) in keys.items():
    line("keySignature", [accidentals, major], mido.MetaMessage("key_signature", key=key))
for microseconds in (1, 250000, 428571, 500000, 1000000, 16759776):
    line("tempo", [microseconds], mido.MetaMessage("set_tempo", tempo=microseconds))
for numerator, power, clocks, notes in ((4, 2, 24, 8), (6, 3, 36, 8), (3, 1, 48, 8),
                                        (7, 4, 12, 8), (1, 0, 96, 4)):
    line("timeSignature", [numerator, power, clocks, notes],
         mido.MetaMessage("time_signature", numerator=numerator, denominator=2 ** power,
                          clocks_per_click=clocks, notated_32nd_notes_per_beat=notes))
texts = {"text": ("text", "text"), "copyright": ("copyright", "text"),
         "trackOrSequenceName": ("track_name", "name"),
         "instrumentName": ("instrument_name", "name"), "lyric": ("lyrics", "text"),
         "marker": ("marker", "text"), "cuePoint": ("cue_marker", "text"),
         "deviceName": ("device_name", "name")}
for kind, (name, attribute) in texts.items():
    for text in ("", "Piano", "x" * 200):
        line("text:" + kind, [text], mido.MetaMessage(name, **{attribute: text}))
for size in (0, 3, 127, 128, 200, 20000):
    data = [(i * 7) & 0xFF for i in range(size)]
    line("sequencerSpecific", [size],
         mido.MetaMessage("sequencer_specific", data=data))
for meta_type, size in ((0x0A, 3), (0x0F, 0), (0x60, 2), (0x7E, 300)):
    data = [(i * 13) & 0xFF for i in range(size)]
    line("unrecognizedMeta", [meta_type, size], UnknownMetaMessage(type_byte=meta_type, data=data))
