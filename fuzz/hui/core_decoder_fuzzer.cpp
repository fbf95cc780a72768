// Feeds MIDI 1.0 byte streams to the core decoder of either role (the first byte's low bit picks
// the sender's role). Decoding may refuse a message only with HUIDecoderError; every event it
// yields must convert to the role's vocabulary and encode without failing, and a decoded fader
// level must lie within 14 bits of a strip 0-7.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "hui/core_decoder.hpp"
#include "hui/role_decoders.hpp"
#include "midi1_stream.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto role = (data[0] & 1) ? hui::HUIRole::surface : hui::HUIRole::host;
    hui::HUICoreDecoder decoder(role);
    for (const auto& event : huitest::eventsFromMIDI1(std::span(data + 1, size - 1))) {
        std::vector<hui::HUICoreEvent> decoded;
        try {
            decoded = decoder.decode(event);
        } catch (const hui::HUIDecoderError&) {
            continue;
        }
        for (const auto& e : decoded) {
            if (const auto* fader = e.getIf<hui::HUICoreEvent::FaderLevel>()) {
                if (fader->channelStrip.value() > 7) std::abort();
            }
            (void)e.description();
            (void)e.hash();
            if (role == hui::HUIRole::host) {
                (void)hui::HUIHostEventDecoder::convert(e).encode();
            } else {
                (void)hui::HUISurfaceEventDecoder::convert(e).encode();
            }
        }
    }
    return 0;
}
