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

void emit(MIDIPackets& out, MIDITimeStamp timeStamp, std::vector<uint32_t> words) {
    out.push_back({timeStamp, {}, std::move(words)});
}

// The words of each whole message in `packets`, with the time stamp of its packet.
template <class F>
void forEachMessage(const MIDIPackets& packets, F f) {
    for (const auto& packet : packets) {
        const auto& words = packet.words;
        for (size_t at = 0; at < words.size();) {
            const size_t count = std::min(umpWordCount(words[at]), words.size() - at);
            f(packet.timeStamp, words.data() + at, count);
            at += count;
        }
    }
}

// A type 4 message as type 2 messages (none when it has no MIDI 1.0 form).
void narrow(const uint32_t* w, std::vector<uint32_t>& out) {
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
std::vector<uint32_t> widen(uint32_t w) {
    const uint32_t head = 0x40000000 | (w & 0x0FFF0000);
    const uint32_t status = w >> 20 & 0xF;
    const uint32_t d1 = w >> 8 & 0x7F;
    const uint32_t d2 = w & 0x7F;
    switch (status) {
        case 0x8:
            return {head | d1 << 8, scaleUp(d2, 7, 16) << 16};
        case 0x9:
            if (d2 == 0) return {(head & ~0x00F00000u) | 0x00800000 | d1 << 8, 0};
            return {head | d1 << 8, scaleUp(d2, 7, 16) << 16};
        case 0xA:
        case 0xB:
            return {head | d1 << 8, scaleUp(d2, 7, 32)};
        case 0xC:
            return {head, d1 << 24};
        case 0xD:
            return {head, scaleUp(d1, 7, 32)};
        case 0xE:
            return {head, scaleUp(d1 | d2 << 7, 14, 32)};
        default:
            return {w};
    }
}

}  // namespace

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

void MIDI1StreamToUMP::flushSysEx(bool last, MIDITimeStamp timeStamp, MIDIPackets& out) {
    const uint32_t kind = last ? (sysExStarted_ ? 3 : 0) : (sysExStarted_ ? 2 : 1);
    uint8_t b[6] = {};
    std::copy(sysEx_, sysEx_ + sysExCount_, b);
    emit(out, timeStamp,
         {0x30000000 | kind << 20 | uint32_t{sysExCount_} << 16 | uint32_t{b[0]} << 8 | b[1],
          uint32_t{b[2]} << 24 | uint32_t{b[3]} << 16 | uint32_t{b[4]} << 8 | b[5]});
    sysExStarted_ = !last;
    sysExCount_ = 0;
}

void MIDI1StreamToUMP::feed(const MIDIDriverPacket& packet, MIDIPackets& out) {
    const MIDITimeStamp ts = packet.timeStamp;
    for (const uint8_t byte : packet.bytes) {
        if (byte >= 0xF8) {  // real time, anywhere
            if (byte != 0xF9 && byte != 0xFD) emit(out, ts, {shortMessage(byte, 0, 0)});
            continue;
        }
        if (byte >= 0x80) {
            if (inSysEx_) {
                flushSysEx(true, ts, out);
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
                emit(out, ts, {shortMessage(byte, 0, 0)});
                status_ = 0;
            }
            continue;
        }
        if (inSysEx_) {
            if (sysExCount_ == 6) flushSysEx(false, ts, out);
            sysEx_[sysExCount_++] = byte;
            continue;
        }
        if (status_ == 0) continue;  // data without a status
        data_[dataCount_++] = byte;
        if (dataCount_ < dataBytesFor(status_)) continue;
        emit(out, ts, {shortMessage(status_, data_[0], dataCount_ > 1 ? data_[1] : 0)});
        dataCount_ = 0;
        if (status_ >= 0xF0) status_ = 0;  // system common messages have no running status
    }
}

MIDIPackets umpToBytes(const MIDIPackets& ump) {
    MIDIPackets out;
    const auto bytesOf = [&out](MIDITimeStamp ts, const uint32_t* w, size_t count) {
        const uint32_t type = messageType(w[0]);
        if (type == 0x1 || type == 0x2) {
            const uint8_t status = w[0] >> 16 & 0xFF;
            // System messages travel as type 1, channel messages as type 2; anything else is
            // malformed and has no byte form.
            if ((type == 0x1) != (status >= 0xF0) || status < 0x80) return;
            const int needed = status >= 0xF8 ? 0 : dataBytesFor(status);
            if (needed < 0) return;
            std::vector<uint8_t> bytes{status};
            if (needed >= 1) bytes.push_back(w[0] >> 8 & 0x7F);
            if (needed >= 2) bytes.push_back(w[0] & 0x7F);
            out.push_back({ts, std::move(bytes), {}});
        } else if (type == 0x3 && count == 2) {
            const uint32_t kind = w[0] >> 20 & 0xF;
            const size_t n = std::min<size_t>(w[0] >> 16 & 0xF, 6);
            const uint8_t all[6] = {uint8_t(w[0] >> 8),  uint8_t(w[0]),      uint8_t(w[1] >> 24),
                                    uint8_t(w[1] >> 16), uint8_t(w[1] >> 8), uint8_t(w[1])};
            std::vector<uint8_t> bytes;
            if (kind == 0 || kind == 1) bytes.push_back(0xF0);
            for (size_t i = 0; i < n; ++i)
                bytes.push_back(all[i] & 0x7F);
            if (kind == 0 || kind == 3) bytes.push_back(0xF7);
            if (!bytes.empty()) out.push_back({ts, std::move(bytes), {}});
        }
    };
    forEachMessage(ump, [&](MIDITimeStamp ts, const uint32_t* w, size_t count) {
        if (messageType(w[0]) == 0x4 && count == 2) {
            std::vector<uint32_t> narrowed;
            narrow(w, narrowed);
            for (const uint32_t word : narrowed)
                bytesOf(ts, &word, 1);
        } else {
            bytesOf(ts, w, count);
        }
    });
    return out;
}

MIDIPackets umpToProtocol(const MIDIPackets& ump, MIDIProtocolID target) {
    MIDIPackets out;
    for (const auto& packet : ump) {
        const auto& w = packet.words;
        std::vector<uint32_t> words;
        for (size_t at = 0; at < w.size();) {
            const size_t count = std::min(umpWordCount(w[at]), w.size() - at);
            const uint32_t type = messageType(w[at]);
            if (target == MIDIProtocolID::midi2_0 && type == 0x2) {
                const auto wide = widen(w[at]);
                words.insert(words.end(), wide.begin(), wide.end());
            } else if (target == MIDIProtocolID::midi1_0 && type == 0x4) {
                if (count == 2) narrow(&w[at], words);
            } else {
                words.insert(words.end(), w.begin() + at, w.begin() + at + count);
            }
            at += count;
        }
        if (!words.empty()) out.push_back({packet.timeStamp, {}, std::move(words)});
    }
    return out;
}

}  // namespace midiservices
