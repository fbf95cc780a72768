#include "midi_io/detail/connection_core.hpp"

#include "connection_criteria.hpp"
#include "midi_core/io_error.hpp"
#include "midi_io/manager.hpp"

namespace midiio::detail {

MIDIConnectionMode ConnectionCore::mode() const {
    std::lock_guard lock(mutex_);
    return mode_;
}

void ConnectionCore::setMode(MIDIConnectionMode mode) {
    {
        std::lock_guard lock(mutex_);
        if (mode == mode_) return;
        mode_ = mode;
        if (midiManager_.expired()) return;
    }
    updateCriteria(mode == MIDIConnectionMode::allEndpoints
                       ? std::optional<MIDIEndpointIdentitySet>(allCurrentIdentities())
                       : std::nullopt);
    refreshIfManaged();
}

MIDIEndpointFilter ConnectionCore::filter() const {
    std::lock_guard lock(mutex_);
    return filter_;
}

void ConnectionCore::setFilter(MIDIEndpointFilter filter) {
    {
        std::lock_guard lock(mutex_);
        if (filter == filter_) return;
        filter_ = std::move(filter);
        if (midiManager_.expired()) return;
    }
    updateCriteria(std::nullopt);
    refreshIfManaged();
}

void ConnectionCore::updateCriteria(const std::optional<MIDIEndpointIdentitySet>& criteria) {
    std::lock_guard lock(mutex_);
    updateCriteriaLocked(criteria);
}

void ConnectionCore::updateCriteriaLocked(const std::optional<MIDIEndpointIdentitySet>& criteria) {
    const auto manager = filter_.owned ? midiManager_.lock() : nullptr;
    criteria_ = applyFilter(criteria ? *criteria : criteria_, filter_,
                            manager ? ownedUniqueIDs(*manager) : std::vector<int32_t>{});
}

void ConnectionCore::initializeCriteria(const MIDIEndpointIdentitySet& given) {
    updateCriteria(mode() == MIDIConnectionMode::allEndpoints ? allCurrentIdentities() : given);
}

MIDIEndpointIdentitySet ConnectionCore::criteria() const {
    std::lock_guard lock(mutex_);
    return criteria_;
}

void ConnectionCore::addToCriteria(const std::vector<MIDIEndpointIdentity>& identities) {
    std::lock_guard lock(mutex_);
    auto grown = criteria_;
    grown.insert(identities.begin(), identities.end());
    updateCriteriaLocked(grown);
}

void ConnectionCore::removeFromCriteria(const std::vector<MIDIEndpointIdentity>& identities) {
    std::lock_guard lock(mutex_);
    auto reduced = criteria_;
    for (const auto& identity : identities) reduced.erase(identity);
    updateCriteriaLocked(reduced);
}

void ConnectionCore::refreshIfManaged() {
    const auto manager = midiManager_.lock();
    if (!manager) return;
    try {
        refreshConnection(*manager);
    } catch (const midicore::MIDIIOError&) {
        // A connection that cannot listen keeps its criteria; the next refresh tries again.
    }
}

}  // namespace midiio::detail
