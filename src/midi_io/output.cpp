#include "midi_io/output.hpp"

#include "midi_core/io_error.hpp"
#include "midi_io/detail/send_path.hpp"
#include "midi_io/manager.hpp"
#include "midiservices/io.hpp"

namespace midiio {

namespace ms = midiservices;

void MIDIOutput::create(const MIDIManager& manager) {
    const auto client = manager.coreMIDIClientRef();
    if (const auto protocol = api_.protocol()) {
        detail::requireNewCoreMIDIAPI();
        endpoint_.create(manager, [&](ms::MIDIEndpointRef* ref) {
            return ms::MIDISourceCreateWithProtocol(client, endpoint_.name(),
                                                    detail::servicesProtocol(*protocol), ref);
        });
    } else {
        endpoint_.create(manager, [&](ms::MIDIEndpointRef* ref) {
            return ms::MIDISourceCreate(client, endpoint_.name(), ref);
        });
    }
}

namespace {

// Where a virtual output's lists go: published on its source.
detail::SendTarget publishingTarget(const CoreMIDIAPIVersion& api,
                                    std::optional<ms::MIDIEndpointRef> source) {
    if (!source) throw midicore::MIDIIOError::internalInconsistency("Port reference is nil.");
    return {api,
            [source](const ms::MIDIPacketList* list, size_t size) {
                midicore::throwIfOSStatusErr(ms::MIDIReceived(*source, list, size));
            },
            [source](const ms::MIDIEventList* list, size_t size) {
                midicore::throwIfOSStatusErr(ms::MIDIReceivedEventList(*source, list, size));
            }};
}

}  // namespace

void MIDIOutput::send(const midicore::MIDIEvent& event) const {
    detail::sendEvent(publishingTarget(api_, endpoint_.ref()), event);
}

void MIDIOutput::send(const std::vector<midicore::MIDIEvent>& events) const {
    detail::sendEvents(publishingTarget(api_, endpoint_.ref()), events);
}

}  // namespace midiio
