// The companion application's logic without a user-interface toolkit: the window's state and the
// operations behind its buttons. The window is a thin view over it: it binds its controls to the
// fields and published values below, calls the operations from its buttons, and pumps the main
// dispatch queue (dispatch::Queue::main()) on its GUI thread.
//
// Start opens the UDP link to the headset (port 4283) and the MIDI input; every Note On and Note
// Off from the input goes to the headset as one datagram of its three MIDI 1.0 bytes. An address
// typed as a host name is looked up first, off the main thread and bounded in time; Start is
// starting (`isStarting`) meanwhile and logs its outcome when the answer is known. Upload Piece
// converts the picked score (off the main thread, on one serial queue of the controller), opens
// the upload server on TCP port 4287 and calls the headset over UDP to fetch the piece. Stop
// closes the link, the MIDI input and a running upload, and turns the MIDI indicator off; what the
// MIDI input or the headset still had on its way to the main thread then changes nothing.
//
// Threads: every operation and every field belongs to the main thread. What happens on the
// network thread or during a conversion comes back to the main thread through the main queue
// before it changes any state, so observers are always called on the main thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/diagnostics.hpp"
#include "app/tcp_upload_server.hpp"
#include "midi_core/midi_event.hpp"
#include "net/net.hpp"
#include "net/udp.hpp"
#include "observe/observe.hpp"

namespace dispatch {
class Queue;
}

namespace companion {

// The MIDI input the controller starts: it delivers events to the handler on the main thread and
// can remove what it made in the MIDI system.
class MidiInput {
  public:
    virtual ~MidiInput() = default;
    virtual void removeAll() = 0;
};
using MidiEventHandler = std::function<void(const midicore::MIDIEvent&)>;
// Makes the MIDI input, or throws when there is none.
using MidiInputFactory = std::function<std::unique_ptr<MidiInput>(MidiEventHandler)>;

// Looks a host name up without blocking and calls the completion once, on any thread. The
// default is net::lookUpHost; tests put a stand-in here.
using HostLookup = std::function<void(const std::string& hostName,
                                      std::chrono::milliseconds timeout,
                                      net::LookupCompletion completion)>;

struct CompanionOptions {
    uint16_t headsetPort = 4283;
    uint16_t uploadPort = TcpUploadServer::defaultPort;
    net::IpAddress uploadListenAddress = net::IpAddress::anyV6();
    std::chrono::milliseconds uploadTimeout = std::chrono::seconds(60);
    std::chrono::milliseconds closeTimeout = std::chrono::seconds(5);
    DiagnosticSink diagnostics = standardOutput();
    // None: no MIDI input, Start shows "Could not connect to MIDI device".
    MidiInputFactory makeMidiInput;
    // How a host name typed as the headset's address is looked up (none: the system resolver),
    // and how long Start waits for the answer.
    HostLookup lookUpHost;
    std::chrono::milliseconds lookupTimeout = std::chrono::seconds(5);
};

// The outcome of converting a score file into the upload payload: the payload, or none, and the
// log lines that report why, in order.
struct PieceConversion {
    std::optional<std::string> payload;
    std::vector<LogLine> lines;
};

// The payload of a score file: its name without the last extension, ".jps", a line feed and the
// piece's JSON. Any thread. A name holding a line break is refused; ill-formed UTF-8 in the name
// becomes U+FFFD. "error encoding json" goes to `diagnostics`.
PieceConversion convertPiece(const std::filesystem::path& url, const DiagnosticSink& diagnostics);

class CompanionController : public std::enable_shared_from_this<CompanionController> {
  public:
    static constexpr uint8_t TCPUploadCall = 0xFE;
    // Each datagram sent arms a receive for the headset's reply, unless this many are armed
    // already: a headset that never replies must not make them pile up.
    static constexpr size_t maximumArmedReceives = 4;

    static std::shared_ptr<CompanionController> make(CompanionOptions options = {});
    ~CompanionController();
    CompanionController(const CompanionController&) = delete;
    CompanionController& operator=(const CompanionController&) = delete;

    // Bound to the address field; read by Start.
    std::string ipAddress = "192.168.0.0";
    // The picked score file, and the name the file field shows.
    std::optional<std::filesystem::path> uploadURL;
    std::string uploadPath;

    // True from Start until the headset's host name has been looked up (Start then either runs
    // or logs why it cannot); Start does nothing meanwhile.
    observe::Published<bool> isStarting{false};
    observe::Published<bool> isRunning{false};
    observe::Published<bool> isUploading{false};
    observe::Published<bool> isMidiEventActive{false};
    observe::Published<std::string> midiErrorText;

    // The output log, and each line as it is appended.
    const std::vector<LogLine>& outputText() const { return outputText_; }
    observe::Signal<LogLine> logAppended;
    void appendLog(std::string text, LogColor color);

    // Starts with the address typed, blanks around it ignored: an IP literal at once, a host name
    // once it has been looked up.
    void start();
    void stop();
    // Relays a Note On or Note Off to the headset and sets the MIDI indicator; nothing while
    // stopped.
    void handleMidiEvent(const midicore::MIDIEvent& event);
    // One datagram to the headset; nothing when there is no link.
    void sendUDP(const net::Bytes& bytes);
    void sendUploadCall();

    void fileImported(const std::filesystem::path& url);
    void fileImportFailed(const std::string& error);
    void uploadPiece();

    // The port of the running or last upload's listener (any thread; for a headset stand-in).
    uint16_t lastUploadPort() const { return lastUploadPort_.load(); }
    bool hasMidiInput() const { return midiReader_ != nullptr; }
    // How many receives for replies are armed on the link now (any thread).
    size_t armedReceives() const { return armedReceives_->load(); }

  private:
    explicit CompanionController(CompanionOptions options);
    void print(const std::string& line) const;
    void startWith(const net::IpAddress& host);
    void lookupFinished(uint64_t run, std::optional<net::IpAddress> host, const std::string& error);
    void startConnection();
    void conversionFinished(uint64_t generation, PieceConversion conversion);
    void uploadComplete(uint64_t generation);
    void uploadFailed(uint64_t generation, const std::string& reason);
    void stopUpload();
    // Runs `work` on the main thread with this controller, if it still exists then.
    void onMain(std::function<void(CompanionController&)> work);

    CompanionOptions options_;
    std::vector<LogLine> outputText_;
    std::shared_ptr<net::UdpConnection> connection_;
    std::optional<net::IpAddress> headsetAddress_;
    std::unique_ptr<MidiInput> midiReader_;
    std::shared_ptr<TcpUploadServer> tcpUpload_;
    // Where conversions run, one at a time: made by the first upload.
    std::shared_ptr<dispatch::Queue> conversionQueue_;
    uint64_t uploadGeneration_ = 0;
    // Counts Starts and Stops: a lookup's answer, a note or a reply carries the run it came from
    // and is dropped on the main thread once that run has ended, since it may have been queued
    // before Stop (or before Stop and another Start).
    uint64_t run_ = 0;
    // Changed on the network thread only.
    std::shared_ptr<std::atomic<size_t>> armedReceives_ = std::make_shared<std::atomic<size_t>>(0);
    std::atomic<uint16_t> lastUploadPort_{0};
};

}  // namespace companion
