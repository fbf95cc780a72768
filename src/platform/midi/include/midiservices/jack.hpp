// The MIDI services over a JACK server: a bridge that plugs the JACK MIDI graph into the services
// through their driver side, so that every caller of the services sees it unchanged.
//
// The graph as the services show it:
// - every other JACK client with MIDI ports is a device with one entity; its MIDI output ports are
//   sources, its MIDI input ports destinations. Unique IDs are hashes of the full port names (and
//   of the client name for the device and entity), so a stored ID finds the same port next time.
//   The port's first alias, where it has one, is its display name.
// - a client's virtual destination is a MIDI input port of our JACK client with the endpoint's
//   name, a virtual source a MIDI output port of it (both appear to other JACK programs).
// - each source is listened to through an input port of ours connected to it, so that data keeps
//   its source; data sent to a device's destination goes out through an output port of ours
//   connected to it.
// - a program that sends to one of our virtual destinations does so from an output port of its
//   own, which is also a source. Its data reaches the application once, through the virtual
//   destination: while a source feeds one of our virtual destinations, the bridge does not listen
//   to it separately (input ports connected to it receive nothing meanwhile).
// - JACK's port, client and connection callbacks only mark the graph as changed; a thread of the
//   bridge then compares the graph with what the services hold and adds and removes devices, so
//   the services notify objectAdded, objectRemoved and setupChanged as for any driver.
//
// Threads. The realtime process callback only copies events between the ports and lock-free
// single-producer single-consumer rings: it neither allocates nor takes a lock. A delivery thread
// of the bridge takes what arrived and hands it to the services, which build the lists and call
// the receive blocks on their delivery thread; what the services publish on a virtual source or
// send to a device's destination is queued for the next cycles in the same way.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace midiservices::jack {

struct JackOptions {
    std::string serverName;  // empty: the default server ($JACK_DEFAULT_SERVER or "default")
    std::string clientName = "Tessaloom";
};

class JackBridge {
  public:
    // Connects to a running JACK server (never starts one) and bridges it into the process's
    // current services. Null, with the reason in `reason`, when no server answers.
    static std::unique_ptr<JackBridge> open(const JackOptions& options,
                                            std::string* reason = nullptr);
    ~JackBridge();
    JackBridge(const JackBridge&) = delete;
    JackBridge& operator=(const JackBridge&) = delete;

    // The name JACK gave our client (ports are "<name>:<port>").
    std::string clientName() const;
    // Waits until every change of the JACK graph and of the services' virtual endpoints seen
    // before the call is reflected on both sides, and what our ports received in the next two
    // process cycles has been handed to the services; false when `timeout` passed first.
    bool settle(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Events lost because a ring was full (each ring holds many cycles' worth).
    size_t droppedEvents() const;

    struct Impl;

  private:
    explicit JackBridge(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// True on the JACK process thread while the bridge's process callback runs (for checks that it
// neither allocates nor locks).
bool inProcessCallback() noexcept;

// Which MIDI system the application uses: JACK when a server is reachable (automatic), JACK only,
// or the in-process services only.
enum class MIDIBackend { automatic, jack, inProcess };
// "auto", "jack" or "in-process"; none for anything else.
std::optional<MIDIBackend> parseMIDIBackend(std::string_view text);

struct MIDIBackendChoice {
    std::unique_ptr<JackBridge> bridge;  // null: the in-process services alone
    std::string logLine;                 // what the application logs about the choice
};
// Starts the chosen backend. Falls back to the in-process services when JACK is wanted but no
// server answers, and says so in the log line.
MIDIBackendChoice startMIDIBackend(MIDIBackend backend, const JackOptions& options = {});

}  // namespace midiservices::jack
