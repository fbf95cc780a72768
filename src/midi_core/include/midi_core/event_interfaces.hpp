// The two interfaces through which objects take part in a flow of MIDI events without knowing
// where the events come from or go to.
//
// A receiver implements midiIn(const MIDIEvent&); the batch form hands each event over in order.
// A class that overrides only the single-event form and wants to be called with a batch through
// its own type writes `using ReceivesMIDIEvents::midiIn;`.
//
// A sender holds an output handler that its owner installs and removes at any time, from any
// thread; midiOut takes a copy of the handler under a lock and calls the copy after unlocking, on
// the caller's thread, so a handler may itself install another one or send again.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "midi_core/midi_event.hpp"

namespace midicore {

class ReceivesMIDIEvents {
  public:
    virtual ~ReceivesMIDIEvents() = default;

    // Consume one event.
    virtual void midiIn(const MIDIEvent& event) = 0;
    // Calls midiIn(event) for each event in order; an empty batch does nothing.
    virtual void midiIn(const std::vector<MIDIEvent>& events) {
        for (const MIDIEvent& event : events) midiIn(event);
    }
};

class SendsMIDIEvents {
  public:
    using MIDIOutHandler = std::function<void(const std::vector<MIDIEvent>& events)>;

    virtual ~SendsMIDIEvents() = default;

    // A copy of the installed handler; empty when none is installed.
    MIDIOutHandler midiOutHandler() const {
        const std::shared_ptr<const MIDIOutHandler> handler = current();
        return handler ? *handler : MIDIOutHandler();
    }
    // Installs `handler` (an empty one removes it). The previous handler is released after the
    // lock is dropped; a send that copied it before may still be running it.
    void setMIDIOutHandler(MIDIOutHandler handler) {
        std::shared_ptr<const MIDIOutHandler> next;
        if (handler) next = std::make_shared<const MIDIOutHandler>(std::move(handler));
        std::shared_ptr<const MIDIOutHandler> previous;
        {
            std::lock_guard lock(mutex_);
            previous = std::exchange(handler_, std::move(next));
        }
    }

    // Calls the handler, when one is installed, with a batch of just this event.
    void midiOut(const MIDIEvent& event) {
        if (const auto handler = current()) (*handler)(std::vector<MIDIEvent>{event});
    }
    // Calls the handler, when one is installed, with the batch as it is (an empty one included).
    void midiOut(const std::vector<MIDIEvent>& events) {
        if (const auto handler = current()) (*handler)(events);
    }

  protected:
    SendsMIDIEvents() = default;
    // A copy shares the handler installed at the time of copying.
    SendsMIDIEvents(const SendsMIDIEvents& other) : handler_(other.current()) {}
    SendsMIDIEvents& operator=(const SendsMIDIEvents& other) {
        if (this != &other) {
            std::shared_ptr<const MIDIOutHandler> handler = other.current();
            std::lock_guard lock(mutex_);
            std::swap(handler_, handler);
        }
        return *this;
    }

  private:
    std::shared_ptr<const MIDIOutHandler> current() const {
        std::lock_guard lock(mutex_);
        return handler_;
    }

    mutable std::mutex mutex_;
    std::shared_ptr<const MIDIOutHandler> handler_;
};

}  // namespace midicore
