#include "midi_io/packet_data.hpp"

#include "packet_decoding.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

namespace midiio {

UniversalMIDIPacketData UniversalMIDIPacketData::fromWords(std::span<const uint32_t> words,
                                                           uint64_t timeStamp,
                                                           std::optional<MIDIOutputEndpoint> source) {
    std::vector<uint8_t> bytes;
    detail::flattenWords(words, bytes);
    return UniversalMIDIPacketData(std::move(bytes), timeStamp, std::move(source));
}

const std::vector<uint8_t>& AnyMIDIPacket::bytes() const {
    return std::visit([](const auto& record) -> const std::vector<uint8_t>& { return record.bytes; },
                      value_);
}

uint64_t AnyMIDIPacket::timeStamp() const {
    return std::visit([](const auto& record) { return record.timeStamp; }, value_);
}

const std::optional<MIDIOutputEndpoint>& AnyMIDIPacket::source() const {
    return std::visit(
        [](const auto& record) -> const std::optional<MIDIOutputEndpoint>& {
            return record.source;
        },
        value_);
}

namespace {

// Calls `emit(first, count)` for each message of types 0-5 in `words`, in order.
template <class Emit>
void forEachUMPMessage(std::span<const uint32_t> words, Emit&& emit) {
    size_t i = 0;
    while (i < words.size()) {
        const auto type = static_cast<uint8_t>(words[i] >> 28);
        const size_t length = umpMessageWordCount(type);
        if (words.size() - i < length) return;
        if (type <= 5) emit(i, length);
        i += length;
    }
}

// A list in memory: reads of fixed-size fields at byte offsets, never past `limit` bytes.
class ListBytes {
  public:
    ListBytes(const void* list, size_t limit)
        : base_(static_cast<const unsigned char*>(list)), limit_(limit) {}

    // Whether `count` bytes starting at `offset` lie within the list.
    bool holds(size_t offset, size_t count) const {
        return offset <= limit_ && count <= limit_ - offset;
    }
    template <class T>
    T read(size_t offset) const {
        T value;
        std::memcpy(&value, base_ + offset, sizeof value);
        return value;
    }
    const unsigned char* at(size_t offset) const { return base_ + offset; }
    // The offset of the first multiple of 4 in memory at or after `offset`.
    size_t alignedTo4(size_t offset) const {
        const uintptr_t address = reinterpret_cast<uintptr_t>(base_) + offset;
        return offset + ((4 - address % 4) % 4);
    }

  private:
    const unsigned char* base_;
    size_t limit_;
};

constexpr size_t packetListCountSize = sizeof(uint32_t);
constexpr size_t eventListHeaderSize = offsetof(midiservices::MIDIEventList, packet);
constexpr size_t eventPacketHeaderSize = offsetof(midiservices::MIDIEventPacket, words);

// The next record of `into` to overwrite, made when the array holds no more.
template <class Record>
Record& nextRecord(std::vector<Record>& into, size_t& used,
                   const std::optional<MIDIOutputEndpoint>& source) {
    if (used == into.size()) into.emplace_back(std::vector<uint8_t>{}, 0, source);
    return into[used++];
}

// Copy-assigning an engaged optional assigns its value, so the source's strings keep their
// capacity.
template <class Record>
void fill(Record& record, uint64_t timeStamp, const std::optional<MIDIOutputEndpoint>& source) {
    record.timeStamp = timeStamp;
    record.source = source;
}

}  // namespace

namespace detail {

void flattenWords(std::span<const uint32_t> words, std::vector<uint8_t>& bytes) {
    bytes.resize(words.size() * 4);
    for (size_t w = 0; w < words.size(); ++w) {
        bytes[4 * w] = static_cast<uint8_t>(words[w] >> 24);
        bytes[4 * w + 1] = static_cast<uint8_t>(words[w] >> 16);
        bytes[4 * w + 2] = static_cast<uint8_t>(words[w] >> 8);
        bytes[4 * w + 3] = static_cast<uint8_t>(words[w]);
    }
}

size_t trustedLimit(const void* list) {
    return std::numeric_limits<uintptr_t>::max() - reinterpret_cast<uintptr_t>(list);
}

void decodePacketList(const midiservices::MIDIPacketList* list, size_t listByteCount,
                      const std::optional<MIDIOutputEndpoint>& source,
                      std::vector<MIDIPacketData>& into) {
    size_t used = 0;
    const ListBytes memory(list, listByteCount);
    const uint32_t count = list == nullptr || !memory.holds(0, packetListCountSize)
                               ? 0
                               : memory.read<uint32_t>(0);
    size_t offset = midiservices::packetListHeaderSize;
    for (uint32_t i = 0; i < count; ++i) {
        if (!memory.holds(offset, midiservices::packetHeaderSize)) break;
        const auto timeStamp = memory.read<midiservices::MIDITimeStamp>(offset);
        const auto length = memory.read<uint16_t>(offset + sizeof(midiservices::MIDITimeStamp));
        const size_t dataOffset = offset + midiservices::packetHeaderSize;
        if (!memory.holds(dataOffset, length)) break;
        const unsigned char* data = memory.at(dataOffset);
        auto& record = nextRecord(into, used, source);
        record.bytes.assign(data, data + length);
        fill(record, timeStamp, source);
        offset = memory.alignedTo4(dataOffset + length);
    }
    into.erase(into.begin() + static_cast<std::ptrdiff_t>(used), into.end());
}

void decodeEventList(const midiservices::MIDIEventList* list, size_t listByteCount,
                     const std::optional<MIDIOutputEndpoint>& source,
                     std::vector<UniversalMIDIPacketData>& into) {
    size_t used = 0;
    const ListBytes memory(list, listByteCount);
    const uint32_t count =
        list == nullptr || !memory.holds(0, eventListHeaderSize)
            ? 0
            : memory.read<uint32_t>(offsetof(midiservices::MIDIEventList, numPackets));
    uint32_t words[midiservices::maxEventPacketWords];
    size_t offset = eventListHeaderSize;
    for (uint32_t i = 0; i < count; ++i) {
        if (!memory.holds(offset, eventPacketHeaderSize)) break;
        const auto timeStamp = memory.read<midiservices::MIDITimeStamp>(offset);
        const auto wordCount = memory.read<uint32_t>(offset + sizeof(midiservices::MIDITimeStamp));
        const size_t wordsOffset = offset + eventPacketHeaderSize;
        if (wordCount > midiservices::maxEventPacketWords ||
            !memory.holds(wordsOffset, size_t{wordCount} * sizeof(uint32_t))) {
            break;
        }
        std::memcpy(words, memory.at(wordsOffset), size_t{wordCount} * sizeof(uint32_t));
        forEachUMPMessage(std::span<const uint32_t>(words, wordCount), [&](size_t first, size_t n) {
            auto& record = nextRecord(into, used, source);
            flattenWords(std::span<const uint32_t>(words + first, n), record.bytes);
            fill(record, timeStamp, source);
        });
        offset = wordsOffset + size_t{wordCount} * sizeof(uint32_t);
    }
    into.erase(into.begin() + static_cast<std::ptrdiff_t>(used), into.end());
}

}  // namespace detail

std::vector<std::vector<uint32_t>> splitUMPMessages(std::span<const uint32_t> words) {
    std::vector<std::vector<uint32_t>> messages;
    forEachUMPMessage(words, [&](size_t first, size_t count) {
        messages.emplace_back(words.begin() + static_cast<std::ptrdiff_t>(first),
                              words.begin() + static_cast<std::ptrdiff_t>(first + count));
    });
    return messages;
}

std::vector<MIDIPacketData> packetDataArray(const midiservices::MIDIPacketList* list,
                                            size_t listByteCount, const void* refCon,
                                            bool refConKnown) {
    std::vector<MIDIPacketData> records;
    const ListBytes memory(list, listByteCount);
    if (list == nullptr || !memory.holds(0, packetListCountSize)) return records;
    const auto count = memory.read<uint32_t>(0);
    if (count == 0) return records;
    // The source is the same for every packet of the list: look it up once.
    records.reserve(std::min<size_t>(count, listByteCount / midiservices::packetHeaderSize));
    detail::decodePacketList(list, listByteCount, outputEndpointFromRefCon(refCon, refConKnown),
                             records);
    return records;
}

std::vector<MIDIPacketData> packetDataArray(const midiservices::MIDIPacketList* list,
                                            const void* refCon, bool refConKnown) {
    return packetDataArray(list, detail::trustedLimit(list), refCon, refConKnown);
}

std::vector<UniversalMIDIPacketData> universalPacketDataArray(
    const midiservices::MIDIEventList* list, size_t listByteCount, const void* refCon,
    bool refConKnown) {
    std::vector<UniversalMIDIPacketData> records;
    const ListBytes memory(list, listByteCount);
    if (list == nullptr || !memory.holds(0, eventListHeaderSize)) return records;
    const auto count = memory.read<uint32_t>(offsetof(midiservices::MIDIEventList, numPackets));
    if (count == 0) return records;
    records.reserve(std::min<size_t>(count, listByteCount / eventPacketHeaderSize));
    detail::decodeEventList(list, listByteCount, outputEndpointFromRefCon(refCon, refConKnown),
                            records);
    return records;
}

std::vector<UniversalMIDIPacketData> universalPacketDataArray(
    const midiservices::MIDIEventList* list, const void* refCon, bool refConKnown) {
    return universalPacketDataArray(list, detail::trustedLimit(list), refCon, refConKnown);
}

}  // namespace midiio
