#include "midi_io/output.hpp"

#include "midi_io/manager.hpp"

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

}  // namespace midiio
