#include "midiservices/translation.hpp"

#include <algorithm>

namespace midiservices {

namespace {

constexpr uint32_t messageType(uint32_t word) {
    return word >> 28;
}

// The number of data bytes a status byte takes: for channel voice and system common messages.
// Returns -1 for status bytes that start no such message.
int dataBytesFor(uint8_t status) {
    switch (status & 0xF0) {
        case 0x80:
        case 0x90:
        case 0xA0:
        case 0xB0:
        case 0xE0:
            return 2;
        case 0xC0:
        case 0xD0:
            return 1;
        default:
            break;
    }
    switch (status) {
        case 0xF1:
        case 0xF3:
            return 1;
        case 0xF2:
            return 2;
        case 0xF6:
            return 0;
        default:
            return -1;
    }
}

uint32_t shortMessage(uint8_t status, uint8_t d1, uint8_t d2) {
    const uint32_t type = status >= 0xF0 ? 0x1 : 0x2;
    return type << 28 | uint32_t{status} << 16 | uint32_t{d1} << 8 | d2;
}

// The words of each whole message of one packet, in order.
template <class F>
void forEachMessage(std::span<const uint32_t> words, F f) {
    for (size_t at = 0; at < words.size();) {
        const size_t count = std::min(umpWordCount(words[at]), words.size() - at);
        f(words.data() + at, count);
        at += count;
    }
}

// Up to four words of translated messages, kept where they are made.
struct Words {
    uint32_t w[4] = {};
    size_t n = 0;
    void push_back(uint32_t word) { w[n++] = word; }
};

// A type 4 message as type 2 messages (none when it has no MIDI 1.0 form).
void narrow(const uint32_t* w, Words& out) {
    const uint32_t group = w[0] >> 24 & 0xF;
    const uint32_t status = w[0] >> 20 & 0xF;
    const uint32_t channel = w[0] >> 16 & 0xF;
    const uint8_t index = w[0] >> 8 & 0x7F;
    const auto mt2 = [&](uint32_t s, uint32_t d1, uint32_t d2) {
        out.push_back(0x20000000 | group << 24 | s << 20 | channel << 16 | (d1 & 0x7F) << 8 |
                      (d2 & 0x7F));
    };
    switch (status) {
        case 0x8:
            mt2(0x8, index, w[1] >> 25);
            break;
        case 0x9:
            mt2(0x9, index, std::max<uint32_t>(w[1] >> 25, 1));
            break;
        case 0xA:
            mt2(0xA, index, w[1] >> 25);
            break;
        case 0xB:
            mt2(0xB, index, w[1] >> 25);
            break;
        case 0xD:
            mt2(0xD, w[1] >> 25, 0);
            break;
        case 0xE: {
            const uint32_t bend = w[1] >> 18;
            mt2(0xE, bend & 0x7F, bend >> 7);
            break;
        }
        case 0xC:
            if (w[0] & 1) {  // bank valid
                mt2(0xB, 0, w[1] >> 8);
                mt2(0xB, 32, w[1]);
            }
            mt2(0xC, w[1] >> 24, 0);
            break;
        case 0x2:    // registered controller
        case 0x3: {  // assignable controller
            const bool registered = status == 0x2;
            mt2(0xB, registered ? 101 : 99, w[0] >> 8);
            mt2(0xB, registered ? 100 : 98, w[0]);
            mt2(0xB, 6, w[1] >> 25);
            mt2(0xB, 38, w[1] >> 18);
            break;
        }
        default:
            break;  // per-note and relative messages
    }
}

// A type 2 message as its type 4 form.
Words widen(uint32_t w) {
    const uint32_t head = 0x40000000 | (w & 0x0FFF0000);
    const uint32_t status = w >> 20 & 0xF;
    const uint32_t d1 = w >> 8 & 0x7F;
    const uint32_t d2 = w & 0x7F;
    switch (status) {
        case 0x8:
            return {{head | d1 << 8, scaleUp(d2, 7, 16) << 16}, 2};
        case 0x9:
            if (d2 == 0) return {{(head & ~0x00F00000u) | 0x00800000 | d1 << 8, 0}, 2};
            return {{head | d1 << 8, scaleUp(d2, 7, 16) << 16}, 2};
        case 0xA:
        case 0xB:
            return {{head | d1 << 8, scaleUp(d2, 7, 32)}, 2};
        case 0xC:
            return {{head, d1 << 24}, 2};
        case 0xD:
            return {{head, scaleUp(d1, 7, 32)}, 2};
        case 0xE:
            return {{head, scaleUp(d1 | d2 << 7, 14, 32)}, 2};
        default:
            return {{w}, 1};
    }
}

// The byte form of one message of type 1, 2 or 3 (`emit(bytes, count)`), when it has one.
template <class Emit>
void bytesOf(const uint32_t* w, size_t count, Emit&& emit) {
    const uint32_t type = messageType(w[0]);
    if (type == 0x1 || type == 0x2) {
        const uint8_t status = w[0] >> 16 & 0xFF;
        // System messages travel as type 1, channel messages as type 2; anything else is
        // malformed and has no byte form.
        if ((type == 0x1) != (status >= 0xF0) || status < 0x80) return;
        const int needed = status >= 0xF8 ? 0 : dataBytesFor(status);
        if (needed < 0) return;
        const uint8_t bytes[3] = {status, uint8_t(w[0] >> 8 & 0x7F), uint8_t(w[0] & 0x7F)};
        emit(bytes, size_t(1 + needed));
    } else if (type == 0x3 && count == 2) {
        const uint32_t kind = w[0] >> 20 & 0xF;
        const size_t n = std::min<size_t>(w[0] >> 16 & 0xF, 6);
        const uint8_t all[6] = {uint8_t(w[0] >> 8),  uint8_t(w[0]),      uint8_t(w[1] >> 24),
                                uint8_t(w[1] >> 16), uint8_t(w[1] >> 8), uint8_t(w[1])};
        uint8_t bytes[8];
        size_t length = 0;
        if (kind == 0 || kind == 1) bytes[length++] = 0xF0;
        for (size_t i = 0; i < n; ++i)
            bytes[length++] = all[i] & 0x7F;
        if (kind == 0 || kind == 3) bytes[length++] = 0xF7;
        if (length > 0) emit(bytes, length);
    }
}

}  // namespace

void FlatPackets::addBytes(MIDITimeStamp timeStamp, std::span<const uint8_t> bytes) {
    if (bytes.empty()) return;
    packets_.push_back({timeStamp, static_cast<uint32_t>(bytes_.size()),
                        static_cast<uint32_t>(bytes.size())});
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void FlatPackets::addWords(MIDITimeStamp timeStamp, std::span<const uint32_t> words) {
    beginWords();
    words_.insert(words_.end(), words.begin(), words.end());
    endWords(timeStamp);
}

void FlatPackets::endWords(MIDITimeStamp timeStamp) {
    if (words_.size() == open_) return;
    packets_.push_back(
        {timeStamp, static_cast<uint32_t>(open_), static_cast<uint32_t>(words_.size() - open_)});
}

FlatPackets FlatPackets::from(const MIDIPackets& packets) {
    FlatPackets flat;
    for (const auto& p : packets) {
        if (!p.bytes.empty()) {
            flat.addBytes(p.timeStamp, p.bytes);
        } else {
            flat.addWords(p.timeStamp, p.words);
        }
    }
    return flat;
}

MIDIPackets FlatPackets::toPackets() const {
    MIDIPackets out;
    for (const auto& p : packets_) {
        if (words_.empty()) {
            const auto b = bytes(p);
            out.push_back({p.timeStamp, {b.begin(), b.end()}, {}});
        } else {
            const auto w = words(p);
            out.push_back({p.timeStamp, {}, {w.begin(), w.end()}});
        }
    }
    return out;
}

uint32_t scaleUp(uint32_t value, unsigned sourceBits, unsigned targetBits) {
    const unsigned scaleBits = targetBits - sourceBits;
    uint64_t result = uint64_t{value} << scaleBits;
    const uint32_t centre = 1u << (sourceBits - 1);
    if (value <= centre) return static_cast<uint32_t>(result);
    const unsigned repeatBits = sourceBits - 1;
    uint64_t repeat = value & ((uint64_t{1} << repeatBits) - 1);
    repeat = scaleBits > repeatBits ? repeat << (scaleBits - repeatBits)
                                    : repeat >> (repeatBits - scaleBits);
    while (repeat != 0) {
        result |= repeat;
        repeat >>= repeatBits;
    }
    return static_cast<uint32_t>(result);
}

template <class Emit>
void MIDI1StreamToUMP::flushSysEx(bool last, MIDITimeStamp timeStamp, Emit& emit) {
    const uint32_t kind = last ? (sysExStarted_ ? 3 : 0) : (sysExStarted_ ? 2 : 1);
    uint8_t b[6] = {};
    std::copy(sysEx_, sysEx_ + sysExCount_, b);
    const uint32_t words[2] = {
        0x30000000 | kind << 20 | uint32_t{sysExCount_} << 16 | uint32_t{b[0]} << 8 | b[1],
        uint32_t{b[2]} << 24 | uint32_t{b[3]} << 16 | uint32_t{b[4]} << 8 | b[5]};
    emit(timeStamp, words, 2);
    sysExStarted_ = !last;
    sysExCount_ = 0;
}

template <class Emit>
void MIDI1StreamToUMP::feedInto(MIDITimeStamp ts, std::span<const uint8_t> bytes, Emit& emit) {
    const auto one = [&](uint32_t word) { emit(ts, &word, 1); };
    for (const uint8_t byte : bytes) {
        if (byte >= 0xF8) {  // real time, anywhere
            if (byte != 0xF9 && byte != 0xFD) one(shortMessage(byte, 0, 0));
            continue;
        }
        if (byte >= 0x80) {
            if (inSysEx_) {
                flushSysEx(true, ts, emit);
                inSysEx_ = false;
            }
            dataCount_ = 0;
            if (byte == 0xF7) continue;  // the end of a System Exclusive message (or a stray one)
            if (byte == 0xF0) {
                inSysEx_ = true;
                status_ = 0;
                continue;
            }
            const int needed = dataBytesFor(byte);
            status_ = needed < 0 ? 0 : byte;
            if (needed == 0) {  // tune request
                one(shortMessage(byte, 0, 0));
                status_ = 0;
            }
            continue;
        }
        if (inSysEx_) {
            if (sysExCount_ == 6) flushSysEx(false, ts, emit);
            sysEx_[sysExCount_++] = byte;
            continue;
        }
        if (status_ == 0) continue;  // data without a status
        data_[dataCount_++] = byte;
        if (dataCount_ < dataBytesFor(status_)) continue;
        one(shortMessage(status_, data_[0], dataCount_ > 1 ? data_[1] : 0));
        dataCount_ = 0;
        if (status_ >= 0xF0) status_ = 0;  // system common messages have no running status
    }
}

void MIDI1StreamToUMP::feed(const MIDIDriverPacket& packet, MIDIPackets& out) {
    auto emit = [&out](MIDITimeStamp ts, const uint32_t* words, size_t count) {
        out.push_back({ts, {}, std::vector<uint32_t>(words, words + count)});
    };
    feedInto(packet.timeStamp, packet.bytes, emit);
}

void MIDI1StreamToUMP::feed(MIDITimeStamp timeStamp, std::span<const uint8_t> bytes,
                            FlatPackets& out) {
    auto emit = [&out](MIDITimeStamp ts, const uint32_t* words, size_t count) {
        out.addWords(ts, {words, count});
    };
    feedInto(timeStamp, bytes, emit);
}

void umpToBytes(const FlatPackets& ump, FlatPackets& out) {
    for (const auto& packet : ump.packets()) {
        const auto emit = [&](const uint8_t* bytes, size_t count) {
            out.addBytes(packet.timeStamp, {bytes, count});
        };
        forEachMessage(ump.words(packet), [&](const uint32_t* w, size_t count) {
            if (messageType(w[0]) == 0x4 && count == 2) {
                Words narrowed;
                narrow(w, narrowed);
                for (size_t i = 0; i < narrowed.n; ++i)
                    bytesOf(&narrowed.w[i], 1, emit);
            } else {
                bytesOf(w, count, emit);
            }
        });
    }
}

void umpToProtocol(const FlatPackets& ump, MIDIProtocolID target, FlatPackets& out) {
    for (const auto& packet : ump.packets()) {
        out.beginWords();
        forEachMessage(ump.words(packet), [&](const uint32_t* w, size_t count) {
            const uint32_t type = messageType(w[0]);
            Words translated;
            if (target == MIDIProtocolID::midi2_0 && type == 0x2) {
                translated = widen(w[0]);
            } else if (target == MIDIProtocolID::midi1_0 && type == 0x4) {
                if (count == 2) narrow(w, translated);
            } else {
                for (size_t i = 0; i < count; ++i)
                    out.appendWord(w[i]);
            }
            for (size_t i = 0; i < translated.n; ++i)
                out.appendWord(translated.w[i]);
        });
        out.endWords(packet.timeStamp);
    }
}

MIDIPackets umpToBytes(const MIDIPackets& ump) {
    FlatPackets out;
    umpToBytes(FlatPackets::from(ump), out);
    return out.toPackets();
}

MIDIPackets umpToProtocol(const MIDIPackets& ump, MIDIProtocolID target) {
    FlatPackets out;
    umpToProtocol(FlatPackets::from(ump), target, out);
    return out.toPackets();
}

}  // namespace midiservices
