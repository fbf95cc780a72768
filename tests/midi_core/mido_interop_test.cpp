// The MIDI 1.0 bytes of every one-message channel-voice record against an independent encoder:
// python3's mido builds the same messages for all channels and a sweep of data values in one
// batch, and the bytes must agree.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "midi_core/events/channel_voice.hpp"
#include "midi_core/events/control_change.hpp"
#include "midi_support/number_text.hpp"

namespace midicore::events {
namespace {

namespace fs = std::filesystem;

// Reads "kind channel a b" lines and prints each message's bytes as hexadecimal.
constexpr const char* midoScript = R"(
import sys
import mido
out = []
for line in sys.stdin:
    kind, ch, a, b = line.split()
    ch, a, b = int(ch), int(a), int(b)
    if kind == 'note_on':
        msgs = [mido.Message('note_on', channel=ch, note=a, velocity=b)]
    elif kind == 'note_off':
        msgs = [mido.Message('note_off', channel=ch, note=a, velocity=b)]
    elif kind == 'polytouch':
        msgs = [mido.Message('polytouch', channel=ch, note=a, value=b)]
    elif kind == 'control_change':
        msgs = [mido.Message('control_change', channel=ch, control=a, value=b)]
    elif kind == 'program_change':
        msgs = [mido.Message('program_change', channel=ch, program=a)]
    elif kind == 'bank_program':
        msgs = [mido.Message('control_change', channel=ch, control=0, value=b >> 7),
                mido.Message('control_change', channel=ch, control=32, value=b & 0x7F),
                mido.Message('program_change', channel=ch, program=a)]
    elif kind == 'aftertouch':
        msgs = [mido.Message('aftertouch', channel=ch, value=a)]
    elif kind == 'pitchwheel':
        msgs = [mido.Message('pitchwheel', channel=ch, pitch=a - 8192)]
    else:
        raise SystemExit('unknown kind ' + kind)
    out.append(''.join(bytes(m.bytes()).hex().upper() for m in msgs))
sys.stdout.write('\n'.join(out) + '\n')
)";

std::string python() {
    // Debian's interpreter, where python3-mido is installed.
    return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

struct Message {
    std::string line;  // what mido builds
    MIDI1Bytes bytes;  // what the record encodes
};

std::string hex(const MIDI1Bytes& bytes) {
    std::string out;
    for (uint8_t b : bytes)
        out += midisupport::hexString(b, 2);
    return out;
}

std::vector<Message> sweep() {
    using V16 = ChanVoice7Bit16BitValue;
    using V32 = ChanVoice7Bit32BitValue;
    std::vector<Message> messages;
    auto add = [&](const std::string& kind, unsigned ch, unsigned a, unsigned b, MIDI1Bytes bytes) {
        messages.push_back(
            {kind + " " + std::to_string(ch) + " " + std::to_string(a) + " " + std::to_string(b),
             bytes});
    };
    const unsigned data[] = {0, 1, 2, 31, 63, 64, 65, 100, 126, 127};
    const auto none = NoteAttribute::none();
    for (unsigned ch = 0; ch < 16; ++ch) {
        const UInt4 c = UInt4::truncating(ch);
        const UInt4 g = UInt4::truncating(ch * 7);  // the group is no part of MIDI 1.0 bytes
        for (unsigned a : data) {
            for (unsigned b : data) {
                const UInt7 x = UInt7::truncating(a);
                const UInt7 y = UInt7::truncating(b);
                add("note_on", ch, a, b,
                    NoteOn(x, V16::midi1(y), none, c, g, false).midi1RawBytes());
                add(b == 0 ? "note_off" : "note_on", ch, a, b,
                    NoteOn(x, V16::midi1(y), none, c, g, true).midi1RawBytes());
                add("note_off", ch, a, b, NoteOff(x, V16::midi1(y), none, c, g).midi1RawBytes());
                // A 16-bit velocity keeps its top seven bits.
                add("note_off", ch, a, b,
                    NoteOff(x, V16::midi2(static_cast<uint16_t>(b << 9 | 0x1FF)), none, c, g)
                        .midi1RawBytes());
                add("polytouch", ch, a, b, NotePressure(x, V32::midi1(y), c, g).midi1RawBytes());
                add("control_change", ch, a, b, CC(x, V32::midi1(y), c, g).midi1RawBytes());
                add("control_change", ch, a, b,
                    CC(x, V32::midi2(b << 25 | 0x1FFFFFF), c, g).midi1RawBytes());
            }
        }
        for (unsigned v = 0; v < 128; ++v) {
            const UInt7 x = UInt7::truncating(v);
            add("program_change", ch, v, 0,
                ProgramChange(x, ProgramChange::Bank::noBankSelect(), c, g).midi1RawBytes());
            add("aftertouch", ch, v, 0, Pressure(V32::midi1(x), c, g).midi1RawBytes());
            add("control_change", ch, v, 127 - v,
                CC(CC::Controller(x), V32::midi1(UInt7::truncating(127 - v)), c, g)
                    .midi1RawBytes());
        }
        for (unsigned bank : {0u, 1u, 127u, 128u, 8192u, 16383u}) {
            add("bank_program", ch, ch * 8, bank,
                ProgramChange(UInt7::truncating(ch * 8),
                              ProgramChange::Bank::bankSelect(UInt14::truncating(bank)), c, g)
                    .midi1RawBytes());
        }
        for (unsigned v = 0; v < 16384; v += 127) {
            add("pitchwheel", ch, v, 0,
                PitchBend(ChanVoice14Bit32BitValue::midi1(UInt14::truncating(v)), c, g)
                    .midi1RawBytes());
        }
        add("pitchwheel", ch, 16383, 0,
            PitchBend(ChanVoice14Bit32BitValue::midi1(UInt14(16383)), c, g).midi1RawBytes());
        add("pitchwheel", ch, 8192, 0,
            PitchBend(ChanVoice14Bit32BitValue::bipolarUnitInterval(0.0), c, g).midi1RawBytes());
    }
    return messages;
}

TEST(MidoInteropTest, ChannelVoiceBytesMatchMido) {
    const fs::path dir = fs::temp_directory_path() / ("midi_core_mido_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const auto messages = sweep();
    {
        std::ofstream(dir / "mido_encode.py") << midoScript;
        std::ofstream in(dir / "messages.txt");
        for (const Message& m : messages)
            in << m.line << '\n';
    }
    const std::string command = python() + " " + (dir / "mido_encode.py").string() + " < " +
                                (dir / "messages.txt").string() + " > " +
                                (dir / "bytes.txt").string() + " 2> " +
                                (dir / "error.txt").string();
    const int status = std::system(command.c_str());
    std::stringstream error;
    error << std::ifstream(dir / "error.txt").rdbuf();
    ASSERT_EQ(status, 0) << "python3 with mido failed (scripts/install-deps.sh installs "
                            "python3-mido): "
                         << error.str();

    std::ifstream out(dir / "bytes.txt");
    std::string line;
    size_t index = 0;
    size_t mismatches = 0;
    while (std::getline(out, line) && index < messages.size()) {
        const Message& m = messages[index++];
        if (hex(m.bytes) != line && ++mismatches <= 10) {
            ADD_FAILURE() << m.line << ": ours " << hex(m.bytes) << ", mido " << line;
        }
    }
    EXPECT_EQ(index, messages.size());
    EXPECT_EQ(mismatches, 0u);
    EXPECT_GT(messages.size(), 10000u);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace midicore::events
