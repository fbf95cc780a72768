#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec_test_support.hpp"
#include "midi_file/file_event.hpp"
#include "midi_file/track_codec.hpp"

using namespace midifile;
using namespace midifile::codec_testing;
using namespace midicore::events;
using midicore::UInt4;
using midicore::UInt7;

namespace {

// Every channel voice message, over every channel and data byte, is taken by the decoder of its
// status nibble alone, read into its own fields and written back unchanged.
TEST(ChannelVoicePayloads, EveryMessageRoundTrips) {
    const struct {
        uint8_t nibble;
        MIDIFileEventType type;
        int length;
    } kinds[] = {{0x8, MIDIFileEventType::noteOff, 3},      {0x9, MIDIFileEventType::noteOn, 3},
                 {0xA, MIDIFileEventType::notePressure, 3}, {0xB, MIDIFileEventType::cc, 3},
                 {0xC, MIDIFileEventType::programChange, 2}, {0xD, MIDIFileEventType::pressure, 2},
                 {0xE, MIDIFileEventType::pitchBend, 3}};
    for (const auto& kind : kinds) {
        int failures = 0;
        for (int channel = 0; channel < 16; ++channel) {
            for (int a = 0; a < 128; ++a) {
                for (int b = 0; b < (kind.length == 3 ? 128 : 1); ++b) {
                    Bytes bytes{static_cast<uint8_t>(kind.nibble << 4 | channel),
                                static_cast<uint8_t>(a), static_cast<uint8_t>(b)};
                    bytes.resize(static_cast<size_t>(kind.length));
                    const auto decoded = tryPayloadDecoders(bytes);
                    if (!decoded || decoded->byteCount != kind.length) {
                        ++failures;
                        continue;
                    }
                    const MIDIFileEvent event(DeltaTime::ticks(0), decoded->payload);
                    // A parameter-number controller alone stays a plain CC.
                    failures += event.eventType() != kind.type || event.smfRawBytes() != bytes;
                }
            }
        }
        EXPECT_EQ(failures, 0) << static_cast<int>(kind.nibble);
    }
    // The fields of one message of each kind, against the byte layout of a channel message.
    const auto noteOn = PayloadCodec<NoteOn>::fromRawBytes(Bytes{0x9A, 0x3C, 0x00}).value();
    EXPECT_EQ(noteOn.note.number, UInt7(60));
    EXPECT_EQ(noteOn.channel, UInt4(10));
    EXPECT_FALSE(noteOn.midi1ZeroVelocityAsNoteOff);  // velocity 0 stays a Note On
    const auto bend = PayloadCodec<PitchBend>::fromRawBytes(Bytes{0xE0, 0x00, 0x40}).value();
    EXPECT_EQ(bend.value.value().midi1Value().value(), 8192);
    const auto cc = PayloadCodec<CC>::fromRawBytes(Bytes{0xB3, 0x07, 0x64}).value();
    EXPECT_EQ(cc.controller, CC::Controller::volume());
}

TEST(ChannelVoicePayloads, DecodersAcceptAndRefuseWithTheirSentences) {
    const struct {
        std::string (*decode)(const Bytes&);
        Bytes bytes;
        std::string expected;
    } cases[] = {
        {raw<CC>, {0xB0, 0x07, 0x64}, "CC(cc#7 val:midi1(100) chan:0x0)"},
        {raw<NoteOn>, {0x9A, 0x3C, 0x64}, "NoteOn(noteOn:#C3 vel:midi1(100) chan:0xA)"},
        {raw<NoteOff>, {0x81, 0x3D, 0x00}, "NoteOff(noteOff:#C\u266F3 vel:midi1(0) chan:0x1)"},
        {raw<NotePressure>, {0xA2, 0x3C, 0x10},
         "PolyPressure(note:C3 pressure:midi1(16) chan:0x2)"},
        {raw<PitchBend>, {0xE0, 0x7F, 0x7F}, "PitchBend(bend:midi1(16383) chan:0x0)"},
        {raw<Pressure>, {0xDF, 0x7F}, "ChanPressure(pressure:midi1(127) chan:0xF)"},
        {raw<ProgramChange>, {0xC5, 0x10}, "ProgChange(prgm#16 chan:0x5)"},
        {stream<ProgramChange>, {0xC5, 0x10, 0x90}, "ProgChange(prgm#16 chan:0x5) @2"},
        {raw<PitchBend>, {0xE0, 0x80, 0x00}, "Pitch Bend LSB is out of bounds: 0x80"},
        {raw<PitchBend>, {0xE0, 0x00, 0xFF}, "Pitch Bend MSB is out of bounds: 0xFF"},
        {raw<CC>, {0xB0, 0x07}, "Invalid number of bytes. Expected 3 but got 2"},
        {stream<CC>, {0xB0, 0x07}, "Unexpected byte length."},
        {raw<NoteOff>, {0x93, 0x3C, 0x64}, "Invalid status nibble: 0x9."},
        {raw<CC>, {0xA0, 0x80, 0x80}, "Invalid status nibble: 0xA."},
        {raw<CC>, {0xB0, 0x80, 0x00}, "CC number is out of bounds: 128"},
        {raw<CC>, {0xB0, 0x00, 0x80}, "CC value is out of bounds: 128"},
        {raw<NoteOn>, {0x90, 0x80, 0x00}, "Note number is out of bounds: 128"},
        {raw<NoteOn>, {0x90, 0x00, 0x90}, "Note velocity is out of bounds: 144"},
        {raw<NotePressure>, {0xA0, 0x00, 0x81}, "Note pressure value is out of bounds: 129"},
        {raw<Pressure>, {0xD0, 0x80}, "Channel Pressure value is out of bounds: 128"},
        {raw<ProgramChange>, {0xC0, 0xFF}, "Program Change program number is out of bounds: 255"},
        // Parameter runs.
        {stream<RPN>, {0xB0, 0x65, 0x00, 0xB0, 0x64, 0x00, 0xB0, 0x06, 0x02},
         "RPN(rpn:pitchBendSensitivity(semitones: 2, cents: 0)) @9"},
        {stream<RPN>, {0xB0, 0x65, 0x00, 0xB0, 0x64, 0x00, 0xB0, 0x06, 0x02, 0xB0, 0x26, 0x40},
         "RPN(rpn:pitchBendSensitivity(semitones: 2, cents: 64)) @12"},
        {stream<RPN>, {0xB0, 0x65, 0x00, 0xB0, 0x64, 0x00, 0xB0, 0x06, 0x02, 0xB0, 0x07, 0x64},
         "RPN(rpn:pitchBendSensitivity(semitones: 2, cents: 0)) @9"},
        // Inside a run every message carries its status byte: a data byte there would be the
        // next event's delta time.
        {stream<RPN>, {0xB0, 0x65, 0x00, 0x64, 0x00, 0x06, 0x02},
         "Expected CC message with controller number 100. The bytes are not a complete, valid CC "
         "message."},
        {stream<RPN>, {0xB0, 0x65, 0x00, 0xB1, 0x64, 0x00, 0xB1, 0x06, 0x02},
         "CC message has different channel number."},
        {stream<RPN>, {0xB0, 0x63, 0x01, 0xB0, 0x62, 0x02, 0xB0, 0x06, 0x03},
         "Expected CC message with controller number 101 but found controller number 99 "
         "instead."},
        {stream<NRPN>, {0xB0, 0x63, 0x01, 0xB0, 0x62, 0x02, 0xB0, 0x06, 0x03},
         "NRPN(nrpn:raw(param: [msb: 0x01, lsb: 0x02], dataMSB: 3, dataLSB: nil (0))) @9"},
        {stream<RPN>, {0xB0, 0x65, 0x00, 0xB0, 0x64, 0x00},
         "Expected CC message with controller number 6. The bytes are not a complete, valid CC "
         "message."},
        {raw<RPN>, {0x65, 0x00, 0x64, 0x00, 0x06, 0x02}, "Missing running status byte."},
        {stream<NRPN>, {0xB0, 0x63, 0x7F, 0xB0, 0x62, 0x7F, 0xB0, 0x06, 0x00},
         "NRPN(nrpn:raw(param: [msb: 0x7F, lsb: 0x7F], dataMSB: 0, dataLSB: nil (0))) @9"},
        // A reset that carries a data entry keeps it, so that writing it loses nothing.
        {stream<RPN>, {0xB0, 0x65, 0x7F, 0xB0, 0x64, 0x7F, 0xB0, 0x06, 0x00},
         "RPN(rpn:raw(param: [msb: 0x7F, lsb: 0x7F], dataMSB: 0, dataLSB: nil (0))) @9"},
        // System exclusive.
        {stream<SysEx7>, {0xF0, 0x04, 0x43, 0x10, 0x4C, 0xF7, 0x90, 0x3C},
         "SysEx(6 bytes: [0xF0, 0x04, 0x43, 0x10, 0x4C, 0xF7] @6"},
        {stream<UniversalSysEx7>, {0xF0, 0x06, 0x7E, 0x7F, 0x06, 0x01, 0x00, 0xF7},
         "UniversalSysEx7(8 bytes: [0xF0, 0x06, 0x7E, 0x7F, 0x06, 0x01, 0x00, 0xF7] @8"},
        {stream<SysEx7>, {0xF0, 0x06, 0x7E, 0x7F, 0x06, 0x01, 0x00, 0xF7},
         "The system exclusive message is not of the expected type."},
        {raw<SysEx7>, {0xF0, 0x00, 0xF7}, "SysEx data was empty when attempting to read termination byte."},
        {raw<SysEx7>, {0xF0, 0x02, 0x43, 0x10},
         "Expected SysEx termination byte 0xF7 but found 0x10 instead."},
        {raw<SysEx7>, {0xF0, 0x05, 0x43, 0x10, 0xF7},
         "Fewer bytes are available (3) than are expected (5)."},
        {raw<SysEx7>, {0xF0, 0x43, 0xF7}, "Fewer bytes are available (1) than are expected (67)."},
        {raw<SysEx7>, {0xF7, 0x03, 0x43, 0x10, 0xF7}, "Event is not a SysEx event."},
        {raw<SysEx7>, {0xF0, 0x01}, "Not enough bytes."},
        {stream<SysEx7>, {0xF0, 0x01}, "Byte length too short."},
        {raw<SysEx7>, {0xF0, 0x01, 0xF7}, "The system exclusive message is malformed."},
        {raw<SysEx7>, {0xF0, 0x03, 0x00, 0x21, 0xF7}, "The system exclusive message is malformed."},
        {raw<SysEx7>, {0xF0, 0x03, 0x41, 0x80, 0xF7}, "The system exclusive message is malformed."},
        // A count written in more bytes than it needs: the stream decoder counts what it read.
        {stream<SysEx7>, {0xF0, 0x80, 0x03, 0x41, 0x10, 0xF7}, "SysEx(5 bytes: [0xF0, 0x03, 0x41, 0x10, 0xF7] @6"},
        // SMPTE offset.
        {raw<SMPTEOffset>, {0xFF, 0x54, 0x05, 0x21, 0x02, 0x03, 0x04, 0x05},
         "SMPTEOffset(smpte: 1:02:03:04.5 @ 25fps)"},
        {raw<SMPTEOffset>, {0xFF, 0x54, 0x05, 0xE1, 0x00, 0x00, 0x00, 0x00},
         "SMPTEOffset(smpte: 1:00:00:00.0 @ 30fps)"},
        {raw<SMPTEOffset>, {0xFF, 0x54, 0x05, 0x00, 0x00, 0x00, 0x1E, 0x00},
         "SMPTEOffset(smpte: 0:00:00:23.0 @ 24fps)"},
        {raw<SMPTEOffset>, {0xFF, 0x54, 0x05, 0x18, 0, 0, 0, 0}, "Hours is out of bounds: 24"},
        {raw<SMPTEOffset>, {0xFF, 0x54, 0x05, 0, 0x3C, 0, 0, 0}, "Minutes is out of bounds: 60"},
        {raw<SMPTEOffset>, {0xFF, 0x54, 0x05, 0, 0, 0x3C, 0, 0}, "Seconds value is out of bounds: 60"},
        {raw<SMPTEOffset>, {0xFF, 0x54, 0x05, 0, 0, 0, 0x1F, 0}, "Frames value is out of bounds: 31"},
        {raw<SMPTEOffset>, {0xFF, 0x54, 0x05, 0, 0, 0, 0, 0x64}, "Subframes value is out of bounds: 100"},
        {stream<SMPTEOffset>, {0xFF, 0x54, 0x05, 0, 0, 0, 0}, "Unexpected byte length."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.decode(c.bytes), c.expected) << ::testing::PrintToString(c.bytes);
    }
}

// The system exclusive failures that come from the MIDI core's rules are its own error.
TEST(SysExPayloads, CoreRefusalsAreParseErrors) {
    using Case = midicore::MIDIEventParseError::Case;
    const struct {
        Bytes bytes;
        Case expected;
    } cases[] = {
        {{0xF0, 0x06, 0x7E, 0x7F, 0x06, 0x01, 0x00, 0xF7}, Case::invalidType},
        {{0xF0, 0x01, 0xF7}, Case::malformed},
        {{0xF0, 0x04, 0x7E, 0x00, 0x06, 0xF7}, Case::malformed},
    };
    for (const auto& c : cases) {
        try {
            payloadFromRawBytes<SysEx7>(c.bytes);
            ADD_FAILURE() << "accepted";
        } catch (const midicore::MIDIEventParseError& error) {
            EXPECT_EQ(error.errorCase(), c.expected);
        }
    }
    EXPECT_THROW(payloadFromRawBytes<SysEx7>(Bytes{0xF0, 0x00, 0xF7}), MIDIFileDecodeError);
    // A 200-byte body: a two-byte count of 201.
    const SysEx7 longMessage(SysExManufacturer::oneByte(UInt7(0x41)), Bytes(199, 0x11));
    const Bytes encoded = smfRawBytes(longMessage);
    EXPECT_EQ(encoded.size(), 204u);
    EXPECT_EQ((Bytes{encoded[1], encoded[2]}), (Bytes{0x81, 0x49}));
}

// One event of every kind, followed by unrelated bytes, decodes to itself and its own length.
TEST(FileEvents, EveryKindDecodesFromTheFrontOfAStream) {
    const DeltaTime d = DeltaTime::ticks(0);
    using midicore::ChanVoice7Bit16BitValue;
    using midicore::ChanVoice7Bit32BitValue;
    const std::vector<MIDIFileEvent> events{
        MIDIFileEvent::cc(d, UInt7(10), ChanVoice7Bit32BitValue::midi1(UInt7(5)), UInt4(3)),
        MIDIFileEvent::channelPrefix(d, UInt4(4)),
        MIDIFileEvent::keySignature(d, -3, false),
        MIDIFileEvent::noteOff(d, midicore::MIDINote(UInt7(1)), ChanVoice7Bit16BitValue::midi1(UInt7(2)), UInt4(5)),
        MIDIFileEvent::noteOn(d, midicore::MIDINote(UInt7(127)), ChanVoice7Bit16BitValue::midi1(UInt7(0)), UInt4(6)),
        MIDIFileEvent::notePressure(d, midicore::MIDINote(UInt7(9)), ChanVoice7Bit32BitValue::midi1(UInt7(9)), UInt4(7)),
        MIDIFileEvent::pitchBend(d, UInt7(1), UInt7(127), UInt4(8)),
        MIDIFileEvent::portPrefix(d, UInt7(3)),
        MIDIFileEvent::pressure(d, ChanVoice7Bit32BitValue::midi1(UInt7(99)), UInt4(9)),
        MIDIFileEvent::programChange(d, UInt7(100), UInt4(15)),
        MIDIFileEvent::rpn(d, RegisteredController::channelFineTuning(midicore::UInt14(9000)),
                           midicore::MIDI2ParameterNumberChange::absolute, UInt4(2)),
        MIDIFileEvent::nrpn(d, AssignableController::raw({UInt7(1), UInt7(2)}, UInt7(3), UInt7(4)),
                            midicore::MIDI2ParameterNumberChange::absolute, UInt4(1)),
        MIDIFileEvent::sequenceNumber(d, 513),
        MIDIFileEvent::sequencerSpecific(d, {0x00, 0x21, 0x1D}),
        MIDIFileEvent::smpteOffset(d, 23, 59, 59, 29, 99, MIDIFileSMPTEOffsetFrameRate::_2997dfps),
        MIDIFileEvent::sysEx7(d, SysExManufacturer::threeByte(UInt7(0x20), UInt7(0x33)), {1, 2, 3}),
        MIDIFileEvent::universalSysEx7(d, UniversalSysExType::realTime, UInt7(0x7F), UInt7(4),
                                       UInt7(1), {0x7F, 0x7F}),
        MIDIFileEvent::tempo(d, 120),
        MIDIFileEvent::text(d, TextEventType::lyric, "la"),
        MIDIFileEvent::timeSignature(d, 7, 3),
        MIDIFileEvent::unrecognizedMeta(d, 0x4B, {1, 2}),
        MIDIFileEvent::xmfPatchTypePrefix(d, XMFPatchSet::DLS),
    };
    std::vector<bool> seen(22);
    for (const MIDIFileEvent& event : events) {
        const Bytes encoded = event.smfRawBytes();
        const auto decoded = tryPayloadDecoders(encoded + Bytes{0x90, 0x3C, 0x40, 0xFF, 0x2F, 0x00});
        ASSERT_TRUE(decoded) << event.debugDescription();
        EXPECT_EQ(MIDIFileEvent(d, decoded->payload), event) << event.debugDescription();
        EXPECT_EQ(decoded->byteCount, static_cast<int64_t>(encoded.size())) << event.debugDescription();
        seen[static_cast<size_t>(event.eventType())] = true;
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 22);
}

TEST(SMPTEOffsets, FieldsClampAndTimecodesScale) {
    SMPTEOffset offset;
    offset.setHours(30);
    EXPECT_EQ(offset.hours(), 23);
    offset.setFrameRate(MIDIFileSMPTEOffsetFrameRate::_2997dfps);
    offset.setFrames(40);
    EXPECT_EQ(offset.frames(), 29);
    offset.setFrameRate(MIDIFileSMPTEOffsetFrameRate::_24fps);
    EXPECT_EQ(offset.frames(), 29);  // changing the rate keeps the frames

    using timecode::Timecode;
    using timecode::TimecodeFrameRate;
    const Timecode at25 = Timecode::fromComponents({0, 1, 0, 0, 12, 40}, TimecodeFrameRate::_25);
    EXPECT_EQ(SMPTEOffset(at25).description(), "smpte: 1:00:00:12.50 @ 25fps");
    // 29.97 non-drop maps to 30 fps by real time: 1 hour of 29.97 frames lasts 3603.6 s.
    const Timecode ntsc = Timecode::fromComponents({0, 1, 0, 0, 0, 0}, TimecodeFrameRate::_29_97);
    EXPECT_EQ(SMPTEOffset(ntsc).description(), "smpte: 1:00:03:18.0 @ 30fps");
    const Timecode days = Timecode::rawValues(timecode::Components{1, 0, 0, 0, 0, 40},
                                              TimecodeFrameRate::_48);
    EXPECT_EQ(SMPTEOffset(days), SMPTEOffset(0, 0, 0, 0, 0, MIDIFileSMPTEOffsetFrameRate::_24fps));
    const Timecode back =
        SMPTEOffset(1, 2, 3, 4, 5, MIDIFileSMPTEOffsetFrameRate::_2997dfps).timecode();
    EXPECT_EQ(back.frameRate.rateCase(), TimecodeFrameRate::Case::_29_97_drop);
    EXPECT_EQ(back.subFramesBase, Timecode::SubFramesBase::_100SubFrames);
    EXPECT_EQ(back.frames, 4);
    EXPECT_EQ(back.subFrames, 5);
}

}  // namespace
