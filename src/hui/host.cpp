#include "hui/host.hpp"

#include <algorithm>
#include <chrono>

#include "hui/protocol.hpp"

namespace hui {

using midicore::MIDIEvent;

HUIHostBank::HUIHostBank(HUIEventHandler huiEventHandler, MIDIOutHandler midiOutHandler,
                         RemotePresenceChangedHandler remotePresenceChangedHandler,
                         const HUIRoleEnvironment& environment)
    : HUIRolePeer(environment), huiEventHandler_(std::move(huiEventHandler)) {
    setMIDIOutHandler(std::move(midiOutHandler));
    setRemotePresenceChangedHandler(std::move(remotePresenceChangedHandler));
    decoder_.setEventHandler([this](const HUISurfaceEvent& event) { handle(event); });
}

HUIHostBank::~HUIHostBank() {
    stopRemotePresence();
}

void HUIHostBank::receive(const MIDIEvent& event) {
    decoder_.midiIn(event);
}

void HUIHostBank::handle(const HUISurfaceEvent& event) {
    if (event.eventCase() == HUISurfaceEvent::Case::ping) remoteHeard();
    if (const auto handler = huiEventHandler()) handler(event);
}

HUIHostBank::HUIEventHandler HUIHostBank::huiEventHandler() const {
    std::lock_guard lock(mutex_);
    return huiEventHandler_;
}

void HUIHostBank::setHUIEventHandler(HUIEventHandler handler) {
    std::unique_lock lock(mutex_);
    std::swap(huiEventHandler_, handler);
    lock.unlock();
}

void HUIHostBank::transmitPing() {
    midiOut(protocol::hostPing());
}

void HUIHostBank::transmitSwitch(const HUISwitch& huiSwitch, bool state) {
    sendIfAny(HUIHostEvent::switch_(huiSwitch, state).encode());
}

void HUIHostBank::transmitFader(midicore::UInt14 level, midicore::UInt4 channel) {
    sendIfAny(encodeHUIFaderLevel(level, channel));
}

void HUIHostBank::transmitLevelMeter(midicore::UInt4 channel,
                                     surfacemodel::StereoLevelMeter::Side side,
                                     std::int64_t level) {
    midiOut(encodeHUILevelMeter(channel, side, level));
}

void HUIHostBank::transmitVPot(const HUIVPot& vPot, const HUIVPotDisplay& display) {
    if (const auto event = encodeHUIVPot(display.rawValue(), vPot, HUIRole::surface))
        midiOut(*event);
}

void HUIHostBank::transmitLargeDisplay(const HUILargeDisplayString& top,
                                       const HUILargeDisplayString& bottom) {
    transmitLargeDisplay(surfacemodel::LargeDisplay{top, bottom}.slices());
}

void HUIHostBank::transmitLargeDisplay(const surfacemodel::LargeDisplay::Slices& slices) {
    midiOut(encodeHUILargeDisplay(slices));
}

void HUIHostBank::transmitTimeDisplay(const HUITimeDisplayString& leftToRight) {
    const auto& chars = leftToRight.chars();
    transmitTimeDisplay(std::vector<HUITimeDisplayCharacter>(chars.rbegin(), chars.rend()));
}

void HUIHostBank::transmitTimeDisplay(const std::vector<HUITimeDisplayCharacter>& rightToLeft) {
    if (const auto event = encodeHUITimeDisplay(rightToLeft)) midiOut(*event);
}

void HUIHostBank::transmitSmallDisplay(const HUISmallDisplay& display,
                                       const HUISmallDisplayString& text) {
    if (const auto event = encodeHUISmallDisplay(display, text)) midiOut(*event);
}

HUIHost::HUIHost(const HUIRoleEnvironment& environment) : environment_(environment.resolved()) {
    pingTimer_ = std::make_unique<midisupport::SafeDispatchTimer>(
        midisupport::SafeDispatchTimer::Rate::seconds(1.0), environment_.timerQueue,
        std::chrono::milliseconds(50), [this] { ping(); }, environment_.timerService);
    pingTimer_->resume();
}

HUIHost::~HUIHost() {
    pingTimer_.reset();
}

void HUIHost::ping() {
    for (const auto& bank : banks())
        bank->transmitPing();
}

std::vector<std::shared_ptr<HUIHostBank>> HUIHost::banks() const {
    std::lock_guard lock(mutex_);
    return banks_;
}

std::shared_ptr<HUIHostBank> HUIHost::addBank(
    HUIHostBank::HUIEventHandler huiEventHandler, HUIHostBank::MIDIOutHandler midiOutHandler,
    HUIHostBank::RemotePresenceChangedHandler remotePresenceChangedHandler) {
    auto bank =
        std::make_shared<HUIHostBank>(std::move(huiEventHandler), std::move(midiOutHandler),
                                      std::move(remotePresenceChangedHandler), environment_);
    std::lock_guard lock(mutex_);
    banks_.push_back(bank);
    return bank;
}

void HUIHost::removeBank(std::ptrdiff_t index) {
    std::shared_ptr<HUIHostBank> removed;
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<std::ptrdiff_t>(banks_.size())) return;
    removed = banks_[static_cast<std::size_t>(index)];
    banks_.erase(banks_.begin() + index);
}

void HUIHost::removeAllBanks() {
    std::vector<std::shared_ptr<HUIHostBank>> removed;
    std::lock_guard lock(mutex_);
    std::swap(removed, banks_);
}

}  // namespace hui
