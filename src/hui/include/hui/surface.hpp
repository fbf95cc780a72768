// The surface role: the program plays a control surface for a host. It decodes the host's MIDI
// into HUIHostEvent values, keeps an HUISurfaceModel up to date from them and tells its client
// what changed; it answers the host's ping and a universal identity request, tracks whether the
// host is present, and sends presses, fader moves and touches, V-Pot and jog-wheel turns.
//
// It owns no MIDI port (see HUIHostBank). It announces itself with a System Reset on creation and
// says goodbye with another on destruction. midiIn must be called from one thread at a time;
// everything else may be called from any thread. Model changes are told to the notification
// handler and to `objectWillChange()` observers on the thread that delivers the MIDI; presence
// changes as for a host bank.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "hui/detail/remote_presence.hpp"
#include "hui/notifications.hpp"
#include "hui/role_decoders.hpp"
#include "hui/surface_model.hpp"
#include "midi_core/event_interfaces.hpp"

namespace hui {

class HUISurface : public detail::HUIRolePeer {
  public:
    using ModelNotificationHandler =
        std::function<void(const HUISurfaceModelNotification& notification)>;

    // What the surface answers an identity request with: device 0, manufacturer 00 00 66,
    // family 5, model 0, software revision 1 0 0 0.
    static const midicore::MIDIEvent& identityReply();

    // `alwaysNotify` asks for a notification on every host event, even one that changes nothing.
    // Sends a System Reset through `midiOutHandler` once built.
    explicit HUISurface(bool alwaysNotify = false,
                        ModelNotificationHandler modelNotificationHandler = nullptr,
                        MIDIOutHandler midiOutHandler = nullptr,
                        const HUIRoleEnvironment& environment = {});
    // Stops the presence timer (waiting for a presence handler under way on another thread), then
    // sends a System Reset.
    ~HUISurface() override;
    HUISurface(const HUISurface&) = delete;
    HUISurface& operator=(const HUISurface&) = delete;

    // midiIn: MIDI from the host; an identity request to device 0x00 or 0x7F is answered, anything
    // else is decoded and applied to the model. Messages the decoder refuses are dropped.
    using HUIRolePeer::midiIn;

    // A copy of the model as it stands.
    HUISurfaceModel model() const;
    // A fresh model and decoder (fader MSBs 0, no zone pending); no MIDI, no notification.
    void reset();

    bool alwaysNotify() const;
    void setAlwaysNotify(bool alwaysNotify);
    ModelNotificationHandler modelNotificationHandler() const;
    void setModelNotificationHandler(ModelNotificationHandler handler);
    // Surface to host; each sends at once on the calling thread. Strips above 7 send nothing.
    void transmitSwitch(const HUISwitch& huiSwitch, bool state);
    void transmitFader(midicore::UInt14 level, midicore::UInt4 channel);
    void transmitFaderTouch(bool touched, midicore::UInt4 channel);
    // Nothing for a delta of 0.
    void transmitVPot(midicore::Int7 delta, const HUIVPot& vPot);
    // Nothing for a delta of 0.
    void transmitJogWheel(midicore::Int7 delta);
    void transmitSystemReset();

  private:
    void receive(const midicore::MIDIEvent& event) override;
    void handle(const HUIHostEvent& event);

    mutable std::mutex mutex_;
    HUISurfaceModel model_;
    bool alwaysNotify_;
    ModelNotificationHandler modelNotificationHandler_;
    HUIHostEventDecoder decoder_;
};

}  // namespace hui
