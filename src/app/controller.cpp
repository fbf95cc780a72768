#include "app/controller.hpp"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "dispatch/queue.hpp"
#include "score/json.hpp"
#include "score/musicxml_converter.hpp"
#include "score/payload.hpp"
#include "textservices/unicode.hpp"

namespace companion {

using midicore::MIDIEvent;

namespace {

std::string replacingIllFormed(const std::string& text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    return textservices::decodeUtf8({bytes, text.size()}, textservices::Decoding::replacing).text;
}

const char* udpStateLine(net::UdpConnection::State state) {
    using State = net::UdpConnection::State;
    switch (state) {
        case State::setup:
            return "Entered state: setup";
        case State::waiting:
            return "Entered state: waiting";
        case State::preparing:
            return "Entered state: preparing";
        case State::ready:
            return "Entered state: ready";
        case State::failed:
            return "Entered state: failed";
        case State::cancelled:
            return "Entered state: cancelled";
    }
    return "Entered an unknown state";
}

// The address as typed, without the blanks (spaces, tabs, line breaks) around it.
std::string trimmedBlanks(const std::string& text) {
    const char* blanks = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

void returnFreedMemory() {
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

}  // namespace

PieceConversion convertPiece(const std::filesystem::path& url, const DiagnosticSink& diagnostics) {
    PieceConversion result;
    if (url.extension() == ".mid") {
        result.lines.push_back({"Conversion of MIDI files is not supported yet", LogColor::red});
        return result;
    }
    // The name is the payload's first line: a line break in it would move the JSON.
    const std::string rawName = score::pieceFileName(url);
    if (rawName.find_first_of("\n\r") != std::string::npos) {
        result.lines.push_back({"The file name must not hold a line break", LogColor::red});
        return result;
    }
    score::JpsMusicXmlConverter converter;
    try {
        converter.convertToJps(url);
    } catch (const score::JpsConversionError& error) {
        result.lines.push_back({error.message(), LogColor::red});
    } catch (...) {
        result.lines.push_back({"Errors in the sheet music file were found", LogColor::white});
    }
    const auto piece = converter.jpsData();
    if (!piece) return result;
    std::string json;
    try {
        json = piece->json();
    } catch (const score::JSONEncodingError&) {
        if (diagnostics) diagnostics("error encoding json");
        return result;
    }
    result.payload = replacingIllFormed(rawName) + '\n' + json;
    return result;
}

std::shared_ptr<CompanionController> CompanionController::make(CompanionOptions options) {
    return std::shared_ptr<CompanionController>(new CompanionController(std::move(options)));
}

CompanionController::CompanionController(CompanionOptions options) : options_(std::move(options)) {}

CompanionController::~CompanionController() {
    if (tcpUpload_) tcpUpload_->stop();
    if (connection_) connection_->cancel();
}

void CompanionController::print(const std::string& line) const {
    if (options_.diagnostics) options_.diagnostics(line);
}

void CompanionController::onMain(std::function<void(CompanionController&)> work) {
    dispatch::Queue::main()->async([weak = weak_from_this(), work = std::move(work)] {
        if (auto self = weak.lock()) work(*self);
    });
}

void CompanionController::appendLog(std::string text, LogColor color) {
    outputText_.push_back({std::move(text), color});
    logAppended.emit(outputText_.back());
}

void CompanionController::start() {
    if (isRunning.get() || isStarting.get()) return;
    const uint64_t run = ++run_;
    const std::string typed = trimmedBlanks(ipAddress);
    std::optional<net::IpAddress> literal;
    try {
        literal = net::parseHostText(typed);
    } catch (const net::NetError& error) {
        appendLog(std::string("Invalid headset address: ") + error.what(), LogColor::red);
        return;
    }
    if (literal) {
        startWith(*literal);
        return;
    }
    // A host name: the resolver may take seconds, or never answer, so the answer is awaited off
    // the main thread; the window stays responsive and Start cannot be pressed again meanwhile.
    isStarting.set(true);
    auto completion = [weak = weak_from_this(), run](std::optional<net::IpAddress> host,
                                                     const std::string& error) {
        dispatch::Queue::main()->async([weak, run, host, error] {
            if (auto self = weak.lock()) self->lookupFinished(run, host, error);
        });
    };
    if (options_.lookUpHost)
        options_.lookUpHost(typed, options_.lookupTimeout, std::move(completion));
    else
        net::lookUpHost(typed, options_.lookupTimeout, std::move(completion));
}

void CompanionController::lookupFinished(uint64_t run, std::optional<net::IpAddress> host,
                                         const std::string& error) {
    // Stop came first, or this is the answer to an earlier Start.
    if (run != run_ || !isStarting.get()) return;
    isStarting.set(false);
    if (!host) {
        appendLog("Invalid headset address: " + error, LogColor::red);
        return;
    }
    startWith(*host);
}

void CompanionController::startWith(const net::IpAddress& host) {
    headsetAddress_ = host;
    const uint64_t run = run_;
    connection_ = net::UdpConnection::make(host, options_.headsetPort);
    startConnection();
    midiErrorText.set("");
    try {
        if (!options_.makeMidiInput) throw std::runtime_error("no MIDI input");
        // Events reach the main thread through its queue, so some may still be waiting there when
        // Stop (or Stop and Start again) comes: those belong to a run that has ended.
        auto reader = options_.makeMidiInput([weak = weak_from_this(), run](const MIDIEvent& event) {
            auto self = weak.lock();
            if (self && self->run_ == run) self->handleMidiEvent(event);
        });
        if (!reader) throw std::runtime_error("no MIDI input");
        midiReader_ = std::move(reader);
    } catch (...) {
        midiErrorText.set("Could not connect to MIDI device");
    }
    isRunning.set(true);
    appendLog("Server started", LogColor::white);
}

void CompanionController::startConnection() {
    if (!connection_) return;
    const auto sink = options_.diagnostics;
    auto print = [sink](const std::string& line) {
        if (sink) sink(line);
    };
    connection_->setStateHandler([print](net::UdpConnection::State state, const net::ErrorText&) {
        print(udpStateLine(state));
    });
    connection_->setViabilityHandler([print](bool viable) {
        print(viable ? "Connection is viable" : "Connection is not viable");
    });
    connection_->setBetterPathHandler([print](bool better) {
        print(better ? "A better path is availble" : "No better path is available");
    });
    connection_->start();
}

void CompanionController::stop() {
    // Works whatever Start managed to make: with or without a MIDI input, and during an upload.
    // A lookup still awaited is abandoned: its answer is ignored.
    ++run_;
    isStarting.set(false);
    if (connection_) connection_->cancel();
    if (midiReader_) midiReader_->removeAll();
    stopUpload();
    isMidiEventActive.set(false);
    isRunning.set(false);
    appendLog("Server stopped", LogColor::white);
}

void CompanionController::handleMidiEvent(const MIDIEvent& event) {
    if (!isRunning.get()) return;
    midicore::MIDI1Bytes bytes;
    if (const auto* on = event.getIf<MIDIEvent::NoteOn>())
        bytes = on->midi1RawBytes();
    else if (const auto* off = event.getIf<MIDIEvent::NoteOff>())
        bytes = off->midi1RawBytes();
    else
        return;
    // A MIDI 1.0 Note On of velocity 0 is a Note Off, and goes to the headset as one.
    if ((bytes[0] & 0xF0) == 0x90 && bytes[2] == 0)
        bytes[0] = static_cast<uint8_t>(0x80 | (bytes[0] & 0x0F));
    sendUDP(net::Bytes(bytes.begin(), bytes.end()));
    isMidiEventActive.set((bytes[0] & 0xF0) == 0x90);
}

void CompanionController::sendUDP(const net::Bytes& bytes) {
    if (!connection_) return;
    std::string shown;
    for (size_t i = 0; i < bytes.size() && i < 2; ++i)
        shown += (i ? " " : "") + std::to_string(bytes[i]);
    print(shown);
    const std::weak_ptr<net::UdpConnection> link = connection_;
    const auto sink = options_.diagnostics;
    connection_->send(bytes, [weak = weak_from_this(), link, sink, armed = armedReceives_,
                              run = run_](const net::ErrorText& error) {
        if (error) {
            if (sink) sink("Unable to process and send the data: " + *error);
            return;
        }
        // Each datagram sent arms a receive, so that a reply to it is shown in the log; while a
        // few are armed already, those take the replies. Only the network thread changes the
        // count, so the check and the increment cannot race.
        const auto connection = link.lock();
        if (!connection || armed->load() >= maximumArmedReceives) return;
        ++*armed;
        connection->receiveMessage(
            [weak, armed, run](std::optional<net::Bytes> content, const net::ErrorText&) {
                --*armed;
                if (!content) return;
                const std::string text =
                    replacingIllFormed(std::string(content->begin(), content->end()));
                // A reply still on its way when Stop came is not shown after "Server stopped".
                dispatch::Queue::main()->async([weak, text, run] {
                    auto self = weak.lock();
                    if (self && self->run_ == run)
                        self->appendLog("Received message: " + text, LogColor::white);
                });
            });
    });
}

void CompanionController::sendUploadCall() {
    sendUDP({TCPUploadCall, 0x00});
}

void CompanionController::fileImported(const std::filesystem::path& url) {
    uploadURL = url;
    uploadPath = url.filename().string();
}

void CompanionController::fileImportFailed(const std::string& error) {
    print(error);
}

void CompanionController::uploadPiece() {
    if (!isRunning.get() || isUploading.get()) return;
    isUploading.set(true);
    appendLog("Converting piece...", LogColor::gray);
    const uint64_t generation = ++uploadGeneration_;
    if (!uploadURL) {
        conversionFinished(generation, {});
        return;
    }
    // The conversion runs off the main thread, so that notes keep flowing meanwhile; its outcome
    // is logged on the main thread, in order. Always on the same thread: the allocator keeps
    // memory freed on a thread in that thread's own pool, so conversions spread over the global
    // queue's threads would each leave a score's worth of memory behind.
    if (!conversionQueue_)
        conversionQueue_ =
            dispatch::Queue::makeSerial("companion.conversion", dispatch::QoS::userInitiated);
    conversionQueue_->async(
        [weak = weak_from_this(), generation, url = *uploadURL, sink = options_.diagnostics] {
            auto conversion = convertPiece(url, sink);
            // What the conversion freed goes back to the system rather than staying pooled.
            returnFreedMemory();
            dispatch::Queue::main()->async(
                [weak, generation, conversion = std::move(conversion)]() mutable {
                    if (auto self = weak.lock())
                        self->conversionFinished(generation, std::move(conversion));
                });
        });
}

void CompanionController::conversionFinished(uint64_t generation, PieceConversion conversion) {
    // Stop came first: the upload has ended already.
    if (generation != uploadGeneration_ || !isUploading.get()) return;
    for (auto& line : conversion.lines)
        appendLog(std::move(line.text), line.color);
    if (!conversion.payload) {
        appendLog("Conversion failed", LogColor::red);
        isUploading.set(false);
        return;
    }
    appendLog("Conversion successful", LogColor::yellow);
    TcpUploadServer::Options server;
    server.listenAddress = options_.uploadListenAddress;
    server.port = options_.uploadPort;
    server.allowedPeer = headsetAddress_;
    server.timeout = options_.uploadTimeout;
    server.closeTimeout = options_.closeTimeout;
    server.diagnostics = options_.diagnostics;
    tcpUpload_ = TcpUploadServer::make(std::move(server));
    appendLog("Uploading piece...", LogColor::gray);
    // Called once the listener listens, so the headset never calls at a closed port.
    tcpUpload_->onServerStarted = [this] {
        lastUploadPort_ = tcpUpload_->port();
        sendUploadCall();
    };
    tcpUpload_->onMessageSent = [weak = weak_from_this(), generation] {
        if (auto self = weak.lock())
            self->onMain([generation](CompanionController& c) { c.uploadComplete(generation); });
    };
    tcpUpload_->onFailed = [weak = weak_from_this(), generation](const std::string& reason) {
        if (auto self = weak.lock())
            self->onMain([generation, reason](CompanionController& c) {
                c.uploadFailed(generation, reason);
            });
    };
    try {
        tcpUpload_->startServer(std::move(*conversion.payload));
    } catch (const net::NetError& error) {
        appendLog("Could not open the upload port " + std::to_string(options_.uploadPort) + ": " +
                      error.what(),
                  LogColor::red);
        tcpUpload_.reset();
        isUploading.set(false);
    }
}

void CompanionController::uploadComplete(uint64_t generation) {
    if (generation != uploadGeneration_ || !tcpUpload_) return;
    appendLog("Upload complete", LogColor::green);
    stopUpload();
}

void CompanionController::uploadFailed(uint64_t generation, const std::string& reason) {
    if (generation != uploadGeneration_ || !tcpUpload_) return;
    appendLog(reason, LogColor::red);
    stopUpload();
}

void CompanionController::stopUpload() {
    if (tcpUpload_) {
        print("Server stopped");
        tcpUpload_->stop();
    }
    tcpUpload_.reset();
    ++uploadGeneration_;
    isUploading.set(false);
}

}  // namespace companion
