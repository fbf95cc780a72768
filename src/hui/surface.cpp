#include "hui/surface.hpp"

#include "hui/protocol.hpp"

namespace hui {

using midicore::MIDIEvent;
using midicore::UInt14;
using midicore::UInt7;

namespace {

bool isIdentityRequest(const MIDIEvent& event) {
    static const MIDIEvent toDevice0 = MIDIEvent::universalSysEx7IdentityRequest(UInt7(0x00));
    static const MIDIEvent toAll = MIDIEvent::universalSysEx7IdentityRequest(UInt7(0x7F));
    return event == toDevice0 || event == toAll;
}

}  // namespace

const MIDIEvent& HUISurface::identityReply() {
    static const MIDIEvent reply = MIDIEvent::universalSysEx7IdentityReply(
        UInt7(0x00), protocol::sysExManufacturer, UInt14(5), UInt14(0),
        {UInt7(1), UInt7(0), UInt7(0), UInt7(0)});
    return reply;
}

HUISurface::HUISurface(bool alwaysNotify, ModelNotificationHandler modelNotificationHandler,
                       MIDIOutHandler midiOutHandler, const HUIRoleEnvironment& environment)
    : HUIRolePeer(environment),
      alwaysNotify_(alwaysNotify),
      modelNotificationHandler_(std::move(modelNotificationHandler)) {
    setMIDIOutHandler(std::move(midiOutHandler));
    decoder_.setEventHandler([this](const HUIHostEvent& event) { handle(event); });
    transmitSystemReset();
}

HUISurface::~HUISurface() {
    stopRemotePresence();
    transmitSystemReset();
}

void HUISurface::receive(const MIDIEvent& event) {
    if (isIdentityRequest(event)) {
        midiOut(identityReply());
        return;
    }
    decoder_.midiIn(event);
}

void HUISurface::handle(const HUIHostEvent& event) {
    if (event.eventCase() == HUIHostEvent::Case::ping) {
        remoteHeard();
        midiOut(protocol::surfacePingReply());
    }
    willChange_->emit();
    HUISurfaceModelUpdateResult result = HUISurfaceModelUpdateResult::unchanged();
    ModelNotificationHandler handler;
    {
        std::lock_guard lock(mutex_);
        result = model_.updateState(event, alwaysNotify_);
        handler = modelNotificationHandler_;
    }
    if (const auto* notification = result.notification(); notification && handler)
        handler(*notification);
}

HUISurfaceModel HUISurface::model() const {
    std::lock_guard lock(mutex_);
    return model_;
}

void HUISurface::reset() {
    willChange_->emit();
    {
        std::lock_guard lock(mutex_);
        model_ = HUISurfaceModel();
    }
    decoder_.reset();
}

bool HUISurface::alwaysNotify() const {
    std::lock_guard lock(mutex_);
    return alwaysNotify_;
}

void HUISurface::setAlwaysNotify(bool alwaysNotify) {
    std::lock_guard lock(mutex_);
    alwaysNotify_ = alwaysNotify;
}

HUISurface::ModelNotificationHandler HUISurface::modelNotificationHandler() const {
    std::lock_guard lock(mutex_);
    return modelNotificationHandler_;
}

void HUISurface::setModelNotificationHandler(ModelNotificationHandler handler) {
    std::unique_lock lock(mutex_);
    std::swap(modelNotificationHandler_, handler);
    lock.unlock();
}

void HUISurface::transmitSwitch(const HUISwitch& huiSwitch, bool state) {
    sendIfAny(HUISurfaceEvent::switch_(huiSwitch, state).encode());
}

void HUISurface::transmitFader(UInt14 level, midicore::UInt4 channel) {
    sendIfAny(encodeHUIFaderLevel(level, channel));
}

void HUISurface::transmitFaderTouch(bool touched, midicore::UInt4 channel) {
    sendIfAny(encodeHUIFaderTouch(touched, channel));
}

void HUISurface::transmitVPot(midicore::Int7 delta, const HUIVPot& vPot) {
    if (delta.intValue() == 0) return;
    if (const auto event = encodeHUIVPot(encodeHUIDelta(delta), vPot, HUIRole::host))
        midiOut(*event);
}

void HUISurface::transmitJogWheel(midicore::Int7 delta) {
    if (delta.intValue() == 0) return;
    midiOut(encodeHUIJogWheel(delta));
}

void HUISurface::transmitSystemReset() {
    midiOut(protocol::systemResetEvent());
}

}  // namespace hui
