// A thru connection: the MIDI services route up to eight sources to up to eight destinations
// without the process touching the data, optionally leaving out families of messages. Persistent
// connections are kept by the services under an owner ID and outlive the process (they are found
// and removed again through MIDIManager by that ID); non-persistent ones live as long as their
// object, which the manager registers under a tag.
//
// On systems from version 11 up to (not including) 13 the services' own non-persistent routing is
// replaced by a proxy in the process: an input connection to the sources relays every batch it
// receives through an output connection to the destinations, leaving out the same message
// families the parameters name. Persistent connections are refused there.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "midi_core/midi_event.hpp"
#include "midi_io/api_version.hpp"
#include "midi_io/endpoint.hpp"
#include "midiservices/io.hpp"

namespace midiio {

class MIDIManager;
class MIDIInputConnection;
class MIDIOutputConnection;

// The in-process stand-in for a non-persistent thru connection.
class MIDIThruConnectionProxy {
  public:
    // Resolves the destinations (output port in the manager's client; a refused port leaves port
    // 0 and sends fail quietly), then listens to the sources and connects. Events that `keep`
    // rejects are not relayed. Throws MIDIIOError from the connections' set-up.
    static std::shared_ptr<MIDIThruConnectionProxy> make(
        const std::vector<MIDIOutputEndpoint>& outputs, const std::vector<MIDIInputEndpoint>& inputs,
        MIDIManager& manager, const CoreMIDIAPIVersion& api,
        std::function<bool(const midicore::MIDIEvent&)> keep);
    ~MIDIThruConnectionProxy();

    const std::shared_ptr<MIDIInputConnection>& inputConnection() const { return input_; }
    const std::shared_ptr<MIDIOutputConnection>& outputConnection() const { return output_; }

  private:
    MIDIThruConnectionProxy() = default;
    std::shared_ptr<MIDIInputConnection> input_;
    std::shared_ptr<MIDIOutputConnection> output_;
};

class MIDIThruConnection {
  public:
    class Lifecycle {
      public:
        enum class Case { nonPersistent, persistent };
        static Lifecycle nonPersistent() { return Lifecycle(Case::nonPersistent, {}); }
        static Lifecycle persistent(std::string ownerID) {
            return Lifecycle(Case::persistent, std::move(ownerID));
        }
        Case lifecycleCase() const { return case_; }
        // The owner ID of `persistent`; empty for `nonPersistent`.
        const std::string& ownerID() const { return ownerID_; }
        friend bool operator==(const Lifecycle&, const Lifecycle&) = default;
        // `nonPersistent` feeds 0; `persistent` feeds 1, then the owner ID.
        size_t hash() const;
        // "nonPersistent" or "persistent(<owner ID>)".
        std::string description() const;

      private:
        Lifecycle(Case c, std::string ownerID) : case_(c), ownerID_(std::move(ownerID)) {}
        Case case_;
        std::string ownerID_;
    };

    // The message families left out; all false by default.
    struct Parameters {
        bool filterOutAllControls = false;
        bool filterOutBeatClock = false;
        bool filterOutMTC = false;
        bool filterOutSysEx = false;
        bool filterOutTuneRequest = false;
        // Whether `event` passes these filters (the same families the services leave out).
        bool passes(const midicore::MIDIEvent& event) const;
        friend bool operator==(const Parameters&, const Parameters&) = default;
    };

    // Keeps the first eight outputs (sources) and inputs (destinations); a new-interface `api`
    // becomes the packet-list interface on systems older than version 11. Creates nothing yet.
    MIDIThruConnection(std::vector<MIDIOutputEndpoint> outputs, std::vector<MIDIInputEndpoint> inputs,
                       Lifecycle lifecycle, Parameters params, std::weak_ptr<MIDIManager> midiManager,
                       const CoreMIDIAPIVersion& api);
    // A non-persistent connection disposes its services object (status ignored) and its proxy; a
    // persistent one stays in the services.
    ~MIDIThruConnection();
    MIDIThruConnection(const MIDIThruConnection&) = delete;
    MIDIThruConnection& operator=(const MIDIThruConnection&) = delete;

    // Creates the connection in the services, or the proxy (reference 0) for a non-persistent one
    // on systems 11 and 12. Throws MIDIIOError: notSupported for a persistent one on 11 and 12,
    // osStatus when the services refuse, or the proxy's set-up errors.
    void create(MIDIManager& manager);

    const CoreMIDIAPIVersion& api() const { return api_; }
    std::optional<midiservices::MIDIThruConnectionRef> coreMIDIThruConnectionRef() const {
        return ref_;
    }
    const std::vector<MIDIOutputEndpoint>& outputs() const { return outputs_; }
    const std::vector<MIDIInputEndpoint>& inputs() const { return inputs_; }
    const Lifecycle& lifecycle() const { return lifecycle_; }
    const Parameters& parameters() const { return parameters_; }
    const std::shared_ptr<MIDIThruConnectionProxy>& proxy() const { return proxy_; }

    // The services' record for these endpoints and filters.
    midiservices::MIDIThruConnectionParams coreMIDIParams() const;
    // "MIDIThruConnection(ref: <ref or nil>, outputs: [...], inputs: [...], <lifecycle>)".
    std::string description() const;

    // The persistent connections of `ownerID`. Throws MIDIIOError (osStatus).
    static std::vector<midiservices::MIDIThruConnectionRef> persistentConnections(
        const std::string& ownerID);
    // Disposes them; the number disposed without error, 0 when they cannot be found.
    static size_t removePersistentConnections(const std::string& ownerID);

  private:
    std::weak_ptr<MIDIManager> midiManager_;
    CoreMIDIAPIVersion api_;
    std::optional<midiservices::MIDIThruConnectionRef> ref_;
    std::vector<MIDIOutputEndpoint> outputs_;
    std::vector<MIDIInputEndpoint> inputs_;
    Lifecycle lifecycle_;
    Parameters parameters_;
    std::shared_ptr<MIDIThruConnectionProxy> proxy_;
};

}  // namespace midiio
