// Whether the other side of a link is there: it counts as present from a sign of life (a ping or
// a ping reply) until one timeout passes without another. Shared by the host banks and the
// surface.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

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
    // The timer stops first: its handler never runs once this returns.
    ~RemotePresence() = default;

    bool isPresent() const;
    double timeout() const;
    // Stores at least the minimum (at most the maximum); then the timer restarts at once, so a
    // present side is reported absent now and present again at its next sign of life.
    void setTimeout(double seconds);
    Handler handler() const;
    void setHandler(Handler handler);

    // A sign of life: present, and absent one timeout from now unless another comes.
    void heard();

  private:
    // The timer fired: absent when the timeout really passed since the last sign of life (a
    // firing queued before that sign is ignored); the timer waits for the next sign.
    void expire();
    // Stores the value; when it changed, queues it for announcing. Under mutex_.
    bool storeLocked(bool present);
    // Announces queued changes in the order they were stored, one thread at a time, no lock held.
    void announce();

    const std::shared_ptr<dispatch::Queue> noticeQueue_;
    const std::shared_ptr<observe::Signal<>> willChange_;
    const std::shared_ptr<dispatch::TimerService> service_;

    mutable std::mutex mutex_;
    double timeout_ = defaultTimeout;
    bool present_ = false;
    dispatch::TimePoint lastHeard_{};
    Handler handler_;
    std::deque<bool> unannounced_;
    bool announcing_ = false;

    // Last, so that it is destroyed first.
    std::unique_ptr<midisupport::SafeDispatchTimer> timer_;
};

// What both roles are: a MIDI receiver and sender that tracks whether its remote side is there.
class HUIRolePeer : public midicore::ReceivesMIDIEvents, public midicore::SendsMIDIEvents {
  public:
    using RemotePresenceChangedHandler = std::function<void(bool isRemotePresent)>;

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

    const std::shared_ptr<observe::Signal<>> willChange_ = std::make_shared<observe::Signal<>>();

  private:
    // Destroyed after the derived role's members; its timer touches nothing of theirs.
    RemotePresence presence_;
};

}  // namespace detail

}  // namespace hui
