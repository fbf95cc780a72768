// Arbitrary bytes as a packet list and as an event list of that many bytes, whatever their packet
// counts and lengths claim, through the decoders and on into an events receive handler. Nothing may
// be read past the list, every record must lie within it, and every message record must be one
// whole UMP message of types 0-5.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "midi_io/packet_data.hpp"
#include "midi_io/receive_handler.hpp"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes on the heap (aligned as lists are), so that AddressSanitizer
    // sees any read past its end.
    const std::unique_ptr<unsigned char[]> copy(new unsigned char[size]);
    unsigned char* list = copy.get();
    if (size > 0) std::memcpy(list, data, size);

    size_t events = 0;
    auto handler = midiio::MIDIReceiver::events(true, [&](const std::vector<midicore::MIDIEvent>& e) {
                       require(!e.empty());
                       events += e.size();
                   }).makeReceiveHandler();

    const auto packets = midiio::packetDataArray(
        reinterpret_cast<const midiservices::MIDIPacketList*>(list), size, nullptr, false);
    size_t total = 0;
    for (const auto& p : packets) total += midiservices::packetHeaderSize + p.bytes.size();
    require(packets.empty() || midiservices::packetListHeaderSize + total <= size);
    handler->packetListReceived(packets);

    const auto messages = midiio::universalPacketDataArray(
        reinterpret_cast<const midiservices::MIDIEventList*>(list), size, nullptr, false);
    size_t words = 0;
    for (const auto& m : messages) {
        require(!m.bytes.empty() && m.bytes.size() % 4 == 0 && (m.bytes[0] >> 4) <= 5);
        require(m.bytes.size() / 4 == midiio::umpMessageWordCount(m.bytes[0] >> 4));
        words += m.bytes.size() / 4;
    }
    require(messages.empty() || 8 + words * 4 <= size);
    handler->eventListReceived(messages, midicore::MIDIProtocolVersion::_2_0);
    return 0;
}
