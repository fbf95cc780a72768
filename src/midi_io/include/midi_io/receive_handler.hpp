// What happens to received MIDI: a receive definition (MIDIReceiver) given to a virtual input or an
// input connection, and the handler made from it (MIDIReceiveHandler), which takes every decoded
// packet array on the manager's event queue.
//
//     auto handler = MIDIReceiver::events(true, [](const std::vector<MIDIEvent>& events) {...})
//                        .makeReceiveHandler();
//     handler->packetListReceived(packetDataArray(list, byteCount, refCon, true));
//
// The strategies that parse keep their parser state per source (running status and open System
// Exclusive messages of one source never mix with another's bytes) and call their callback once per
// record that yielded events, never with an empty batch. Handlers are used from one queue at a
// time and hold no locks; callbacks run on that queue.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "midi_core/event_interfaces.hpp"
#include "midi_core/midi_event.hpp"
#include "midi_core/protocol_version.hpp"
#include "midi_io/endpoint.hpp"
#include "midi_io/midi1_parser.hpp"
#include "midi_io/midi2_parser.hpp"
#include "midi_io/packet_data.hpp"

namespace midiio {

class MIDIReceiveHandler;

class MIDIReceiver {
  public:
    enum class ReceiverRefStorage : uint8_t { weakly, strongly };

    using EventsHandler = std::function<void(const std::vector<midicore::MIDIEvent>& events)>;
    using EventsWithMetadataHandler =
        std::function<void(const std::vector<midicore::MIDIEvent>& events, uint64_t timeStamp,
                           const std::optional<MIDIOutputEndpoint>& source)>;
    using LogHandler = std::function<void(const std::string& line)>;
    using RawDataHandler = std::function<void(const AnyMIDIPacket& packet)>;

    enum class Case : uint8_t {
        group, events, eventsWithMetadata, eventsLogging, rawData, rawDataLogging, object
    };

    struct Group {
        std::vector<MIDIReceiver> receivers;
    };
    struct Events {
        bool translateMIDI1NoteOnZeroVelocityToNoteOff;
        EventsHandler handler;
    };
    struct EventsWithMetadata {
        bool translateMIDI1NoteOnZeroVelocityToNoteOff;
        EventsWithMetadataHandler handler;
    };
    struct EventsLogging {
        bool filterActiveSensingAndClock;
        LogHandler handler;  // may be empty: lines are then made and discarded
    };
    struct RawData {
        RawDataHandler handler;
    };
    struct RawDataLogging {
        bool filterActiveSensingAndClock;
        LogHandler handler;  // may be empty
    };
    struct Object {
        // Held strongly only with ReceiverRefStorage::strongly; `weak` always names the object.
        std::shared_ptr<midicore::ReceivesMIDIEvents> strong;
        std::weak_ptr<midicore::ReceivesMIDIEvents> weak;
        ReceiverRefStorage held;
        bool translateMIDI1NoteOnZeroVelocityToNoteOff;
    };

    static MIDIReceiver group(std::vector<MIDIReceiver> receivers) {
        return MIDIReceiver(Group{std::move(receivers)});
    }
    static MIDIReceiver events(bool translateMIDI1NoteOnZeroVelocityToNoteOff, EventsHandler handler) {
        return MIDIReceiver(Events{translateMIDI1NoteOnZeroVelocityToNoteOff, std::move(handler)});
    }
    static MIDIReceiver eventsWithMetadata(bool translateMIDI1NoteOnZeroVelocityToNoteOff,
                                           EventsWithMetadataHandler handler) {
        return MIDIReceiver(
            EventsWithMetadata{translateMIDI1NoteOnZeroVelocityToNoteOff, std::move(handler)});
    }
    static MIDIReceiver eventsLogging(bool filterActiveSensingAndClock, LogHandler handler = {}) {
        return MIDIReceiver(EventsLogging{filterActiveSensingAndClock, std::move(handler)});
    }
    static MIDIReceiver rawData(RawDataHandler handler) {
        return MIDIReceiver(RawData{std::move(handler)});
    }
    static MIDIReceiver rawDataLogging(bool filterActiveSensingAndClock, LogHandler handler = {}) {
        return MIDIReceiver(RawDataLogging{filterActiveSensingAndClock, std::move(handler)});
    }
    static MIDIReceiver object(const std::shared_ptr<midicore::ReceivesMIDIEvents>& receiver,
                               ReceiverRefStorage held,
                               bool translateMIDI1NoteOnZeroVelocityToNoteOff) {
        return MIDIReceiver(Object{held == ReceiverRefStorage::strongly ? receiver : nullptr,
                                   receiver, held, translateMIDI1NoteOnZeroVelocityToNoteOff});
    }

    Case receiverCase() const { return static_cast<Case>(value_.index()); }
    template <class T>
    const T* getIf() const {
        return std::get_if<T>(&value_);
    }

    // A new handler with the strategy of this definition and fresh parsers.
    std::shared_ptr<MIDIReceiveHandler> makeReceiveHandler() const;

  private:
    using Value =
        std::variant<Group, Events, EventsWithMetadata, EventsLogging, RawData, RawDataLogging, Object>;
    explicit MIDIReceiver(Value value) : value_(std::move(value)) {}
    Value value_;
};

class MIDIReceiveHandlerProtocol {
  public:
    virtual ~MIDIReceiveHandlerProtocol() = default;
    // Records of a packet list (MIDI 1.0 bytes), in list order.
    virtual void packetListReceived(const std::vector<MIDIPacketData>& packets) = 0;
    // Records of an event list (one UMP message each), in list order; no strategy reads the
    // protocol.
    virtual void eventListReceived(const std::vector<UniversalMIDIPacketData>& packets,
                                   midicore::MIDIProtocolVersion protocol) = 0;
    // The sources with these unique IDs have gone (or are no longer connected): what is kept for
    // them, such as a parser's running status or an open System Exclusive message, may go.
    // Nothing by default.
    virtual void releaseSources(const std::vector<int32_t>& uniqueIDs) { (void)uniqueIDs; }
};

class MIDIReceiveHandler : public MIDIReceiveHandlerProtocol {
  public:
    class Parsers;
    class ParsingStrategy;
    class Events;
    class EventsLogging;
    class EventsWithMetadata;
    class Group;
    class RawData;
    class RawDataLogging;
    class StrongEventsReceiver;
    class WeakEventsReceiver;

    explicit MIDIReceiveHandler(std::unique_ptr<MIDIReceiveHandlerProtocol> handler)
        : handler_(std::move(handler)) {}

    MIDIReceiveHandlerProtocol& handler() { return *handler_; }

    void packetListReceived(const std::vector<MIDIPacketData>& packets) override {
        handler_->packetListReceived(packets);
    }
    void eventListReceived(const std::vector<UniversalMIDIPacketData>& packets,
                           midicore::MIDIProtocolVersion protocol) override {
        handler_->eventListReceived(packets, protocol);
    }
    void releaseSources(const std::vector<int32_t>& uniqueIDs) override {
        handler_->releaseSources(uniqueIDs);
    }

  private:
    std::unique_ptr<MIDIReceiveHandlerProtocol> handler_;
};

// The parsers of one strategy: a MIDI 1.0 parser and a UMP parser per source (records without a
// source share one pair).
class MIDIReceiveHandler::Parsers {
  public:
    explicit Parsers(bool translateMIDI1NoteOnZeroVelocityToNoteOff)
        : translate_(translateMIDI1NoteOnZeroVelocityToNoteOff) {}

    bool translateMIDI1NoteOnZeroVelocityToNoteOff() const { return translate_; }
    // Appends the events of one record to `events`.
    void parse(const MIDIPacketData& packet, std::vector<midicore::MIDIEvent>& events);
    void parse(const UniversalMIDIPacketData& packet, std::vector<midicore::MIDIEvent>& events);
    // The number of sources whose parsers are kept (records without a source count as one).
    size_t sourceCount() const { return entries_.size(); }
    // Drops the parsers of these sources; a source that sends again starts afresh.
    void release(const std::vector<int32_t>& uniqueIDs);

  private:
    struct Entry {
        std::optional<int32_t> source;
        MIDI1Parser midi1;
        MIDI2Parser midi2;
    };
    Entry& entryFor(const std::optional<MIDIOutputEndpoint>& source);

    bool translate_;
    std::vector<std::unique_ptr<Entry>> entries_;
    size_t last_ = 0;
};

// The strategies that parse: each record is parsed with the parsers of its source, and the
// records that yield events are delivered one by one.
class MIDIReceiveHandler::ParsingStrategy : public MIDIReceiveHandlerProtocol {
  public:
    explicit ParsingStrategy(bool translateMIDI1NoteOnZeroVelocityToNoteOff)
        : parsers_(translateMIDI1NoteOnZeroVelocityToNoteOff) {}

    void packetListReceived(const std::vector<MIDIPacketData>& packets) override;
    void eventListReceived(const std::vector<UniversalMIDIPacketData>& packets,
                           midicore::MIDIProtocolVersion protocol) override;
    void releaseSources(const std::vector<int32_t>& uniqueIDs) override {
        parsers_.release(uniqueIDs);
    }
    Parsers& parsers() { return parsers_; }

  protected:
    // Called with the events of one record, never with none.
    virtual void deliver(const std::vector<midicore::MIDIEvent>& events, uint64_t timeStamp,
                         const std::optional<MIDIOutputEndpoint>& source) = 0;

  private:
    template <class Records>
    void receive(const Records& records);

    Parsers parsers_;
    std::vector<midicore::MIDIEvent> events_;  // one record's events, reused
};

class MIDIReceiveHandler::Events : public ParsingStrategy {
  public:
    Events(bool translate, MIDIReceiver::EventsHandler handler)
        : ParsingStrategy(translate), handler_(std::move(handler)) {}

  protected:
    void deliver(const std::vector<midicore::MIDIEvent>& events, uint64_t,
                 const std::optional<MIDIOutputEndpoint>&) override {
        if (handler_) handler_(events);
    }

  private:
    MIDIReceiver::EventsHandler handler_;
};

class MIDIReceiveHandler::EventsWithMetadata : public ParsingStrategy {
  public:
    EventsWithMetadata(bool translate, MIDIReceiver::EventsWithMetadataHandler handler)
        : ParsingStrategy(translate), handler_(std::move(handler)) {}

  protected:
    void deliver(const std::vector<midicore::MIDIEvent>& events, uint64_t timeStamp,
                 const std::optional<MIDIOutputEndpoint>& source) override {
        if (handler_) handler_(events, timeStamp, source);
    }

  private:
    MIDIReceiver::EventsWithMetadataHandler handler_;
};

// One line per record that yields events: their descriptions joined by ", ", then " timeStamp:"
// and the time stamp, then " source:" and the source's quoted display name when there is one.
// Active Sensing and Timing Clock are left out of the line when filtered (the line is still made).
class MIDIReceiveHandler::EventsLogging : public ParsingStrategy {
  public:
    EventsLogging(bool filterActiveSensingAndClock, MIDIReceiver::LogHandler handler)
        : ParsingStrategy(true), filter_(filterActiveSensingAndClock), handler_(std::move(handler)) {}

  protected:
    void deliver(const std::vector<midicore::MIDIEvent>& events, uint64_t timeStamp,
                 const std::optional<MIDIOutputEndpoint>& source) override;

  private:
    bool filter_;
    MIDIReceiver::LogHandler handler_;
};

class MIDIReceiveHandler::StrongEventsReceiver : public ParsingStrategy {
  public:
    StrongEventsReceiver(std::shared_ptr<midicore::ReceivesMIDIEvents> receiver, bool translate)
        : ParsingStrategy(translate), receiver_(std::move(receiver)) {}

  protected:
    void deliver(const std::vector<midicore::MIDIEvent>& events, uint64_t,
                 const std::optional<MIDIOutputEndpoint>&) override {
        if (receiver_) receiver_->midiIn(events);
    }

  private:
    std::shared_ptr<midicore::ReceivesMIDIEvents> receiver_;
};

// Parses every record (so that parser state goes on), and hands the events over only while the
// object still exists.
class MIDIReceiveHandler::WeakEventsReceiver : public ParsingStrategy {
  public:
    WeakEventsReceiver(std::weak_ptr<midicore::ReceivesMIDIEvents> receiver, bool translate)
        : ParsingStrategy(translate), receiver_(std::move(receiver)) {}

  protected:
    void deliver(const std::vector<midicore::MIDIEvent>& events, uint64_t,
                 const std::optional<MIDIOutputEndpoint>&) override {
        if (const auto receiver = receiver_.lock()) receiver->midiIn(events);
    }

  private:
    std::weak_ptr<midicore::ReceivesMIDIEvents> receiver_;
};

class MIDIReceiveHandler::Group : public MIDIReceiveHandlerProtocol {
  public:
    explicit Group(std::vector<std::shared_ptr<MIDIReceiveHandler>> receiveHandlers)
        : receiveHandlers_(std::move(receiveHandlers)) {}

    void packetListReceived(const std::vector<MIDIPacketData>& packets) override;
    void eventListReceived(const std::vector<UniversalMIDIPacketData>& packets,
                           midicore::MIDIProtocolVersion protocol) override;
    void releaseSources(const std::vector<int32_t>& uniqueIDs) override {
        for (const auto& handler : receiveHandlers_) handler->releaseSources(uniqueIDs);
    }

  private:
    std::vector<std::shared_ptr<MIDIReceiveHandler>> receiveHandlers_;
};

// Every record, as it is, including records of no bytes.
class MIDIReceiveHandler::RawData : public MIDIReceiveHandlerProtocol {
  public:
    explicit RawData(MIDIReceiver::RawDataHandler handler) : handler_(std::move(handler)) {}

    void packetListReceived(const std::vector<MIDIPacketData>& packets) override;
    void eventListReceived(const std::vector<UniversalMIDIPacketData>& packets,
                           midicore::MIDIProtocolVersion protocol) override;

  private:
    MIDIReceiver::RawDataHandler handler_;
};

// One line per record: its bytes as upper-case hex pairs separated by spaces, " timeStamp:" and the
// time stamp, and the source part as above. Filtering skips records whose first byte is 0xF8 or
// 0xFE (MIDI 1.0 packets that begin with Timing Clock or Active Sensing).
class MIDIReceiveHandler::RawDataLogging : public MIDIReceiveHandlerProtocol {
  public:
    RawDataLogging(bool filterActiveSensingAndClock, MIDIReceiver::LogHandler handler)
        : filter_(filterActiveSensingAndClock), handler_(std::move(handler)) {}

    void packetListReceived(const std::vector<MIDIPacketData>& packets) override;
    void eventListReceived(const std::vector<UniversalMIDIPacketData>& packets,
                           midicore::MIDIProtocolVersion protocol) override;

  private:
    template <class Records>
    void log(const Records& records);

    bool filter_;
    MIDIReceiver::LogHandler handler_;
};

}  // namespace midiio
