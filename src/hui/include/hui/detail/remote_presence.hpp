// Whether the other side of a link is there: it counts as present from a sign of life (a ping or
// a ping reply) until one timeout passes without another. Shared by the host banks and the
// surface.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "dispatch/queue.hpp"
#include "dispatch/timer.hpp"
#include "midi_core/event_interfaces.hpp"
#include "midi_support/safe_dispatch_timer.hpp"
#include "observe/observe.hpp"

namespace hui {

// Where the timers of the roles run and where observers hear of changes. Unset members take the
// defaults: the global queue of default quality of service, the system timer service (tests pass
// a manual one), the main queue.
struct HUIRoleEnvironment {
    std::shared_ptr<dispatch::Queue> timerQueue;
    std::shared_ptr<dispatch::TimerService> timerService;
    std::shared_ptr<dispatch::Queue> noticeQueue;

    // The same with every default filled in.
    HUIRoleEnvironment resolved() const;
};

namespace detail {

class RemotePresence {
  public:
    using Handler = std::function<void(bool isPresent)>;

    static constexpr double defaultTimeout = 2.0;
    static constexpr double minimumTimeout = 1.1;
    static constexpr double maximumTimeout = 1e9;

    // Absent, with its timer suspended. `willChange` is emitted on the notice queue before each
    // change is stored.
    RemotePresence(const HUIRoleEnvironment& environment,
                   std::shared_ptr<observe::Signal<>> willChange);
    // Stops the timer (see stop()).
    ~RemotePresence();
    RemotePresence(const RemotePresence&) = delete;
    RemotePresence& operator=(const RemotePresence&) = delete;

    bool isPresent() const;
    double timeout() const;
    // Stores at least the minimum (at most the maximum); then the timer restarts at once, so a
    // present side is reported absent now and present again at its next sign of life.
    void setTimeout(double seconds);
    Handler handler() const;
    void setHandler(Handler handler);

    // A sign of life: present, and absent one timeout from now unless another comes.
    void heard();

    // Stops the timer for good. Once this returns, no firing runs on another thread and none
    // starts. Called from inside the presence handler on the timer's queue, it returns at once
    // and the firing under way finishes on state it holds itself, so the handler may release
    // the role that owns this.
    void stop();

  private:
    // Everything the timer reaches, held by this object and, for the length of one firing or one
    // announcement, by the code running it: the timer holds it weakly.
    struct State;
    std::shared_ptr<State> state_;
};

// What both roles are: a MIDI receiver and sender that tracks whether its remote side is there.
//
// A role held by a std::shared_ptr may be released from inside any of its own handlers: midiIn
// keeps it alive until the call returns, and the presence timer holds its state weakly. A role
// held otherwise may be released from inside its presence handler only when the timer reports
// absence.
class HUIRolePeer : public midicore::ReceivesMIDIEvents,
                    public midicore::SendsMIDIEvents,
                    public std::enable_shared_from_this<HUIRolePeer> {
  public:
    using RemotePresenceChangedHandler = std::function<void(bool isRemotePresent)>;

    // MIDI from the remote side, a batch one event after the other. A role held by a
    // std::shared_ptr stays alive until the call returns.
    void midiIn(const midicore::MIDIEvent& event) final {
        const auto alive = keepAliveForCall();
        receive(event);
    }
    void midiIn(const std::vector<midicore::MIDIEvent>& events) final {
        const auto alive = keepAliveForCall();
        for (const midicore::MIDIEvent& event : events)
            receive(event);
    }

    RemotePresenceChangedHandler remotePresenceChangedHandler() const {
        return presence_.handler();
    }
    void setRemotePresenceChangedHandler(RemotePresenceChangedHandler handler) {
        presence_.setHandler(std::move(handler));
    }
    // Seconds after the last sign of life the remote side still counts as present; 2 at first,
    // never below 1.1. Setting it reports a present side absent at once (present again at its
    // next sign of life).
    double remotePresenceTimeout() const { return presence_.timeout(); }
    void setRemotePresenceTimeout(double seconds) { presence_.setTimeout(seconds); }
    bool isRemotePresent() const { return presence_.isPresent(); }
    // Emitted on the notice queue before each change of isRemotePresent (and, for a surface, on
    // the delivering thread before each change of its model).
    observe::Signal<>& objectWillChange() { return *willChange_; }

  protected:
    explicit HUIRolePeer(const HUIRoleEnvironment& environment)
        : presence_(environment.resolved(), willChange_) {}

    // The remote side answered or pinged.
    void remoteHeard() { presence_.heard(); }
    // Sends the events in one batch; nothing for none.
    void sendIfAny(const std::vector<midicore::MIDIEvent>& events) {
        if (!events.empty()) midiOut(events);
    }
    // Stops the presence timer as RemotePresence::stop() says. Each role calls it first in its
    // destructor, so that a presence handler running on the timer's queue meanwhile still finds
    // the whole role.
    void stopRemotePresence() { presence_.stop(); }

    const std::shared_ptr<observe::Signal<>> willChange_ = std::make_shared<observe::Signal<>>();

  private:
    // One event of midiIn.
    virtual void receive(const midicore::MIDIEvent& event) = 0;
    // The role itself while a std::shared_ptr holds it (else nothing): kept for the length of a
    // call in which a handler may release it.
    std::shared_ptr<const HUIRolePeer> keepAliveForCall() const { return weak_from_this().lock(); }

    RemotePresence presence_;
};

}  // namespace detail

}  // namespace hui
