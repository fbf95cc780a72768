#include "midi_io/identifier_persistence.hpp"

#include <limits>

namespace midiio {

// Made here rather than inline: the compiler's flow analysis misreads the variant built in place.
MIDIIdentifierPersistence MIDIIdentifierPersistence::unmanaged(int32_t id) {
    return MIDIIdentifierPersistence(Unmanaged{id});
}
MIDIIdentifierPersistence MIDIIdentifierPersistence::userDefaultsManaged(
    std::string key, std::shared_ptr<KeyValueStore> suite) {
    return MIDIIdentifierPersistence(UserDefaultsManaged{std::move(key), std::move(suite)});
}
MIDIIdentifierPersistence MIDIIdentifierPersistence::managedStorage(ReadHandler readHandler,
                                                                    StoreHandler storeHandler) {
    return MIDIIdentifierPersistence(ManagedStorage{std::move(readHandler), std::move(storeHandler)});
}
MIDIIdentifierPersistence MIDIIdentifierPersistence::adHoc() {
    return MIDIIdentifierPersistence(AdHoc{});
}

std::optional<int32_t> MIDIIdentifierPersistence::readID() const {
    switch (persistenceCase()) {
        case Case::unmanaged: return std::get<Unmanaged>(value_).id;
        case Case::userDefaultsManaged: {
            const auto& stored = std::get<UserDefaultsManaged>(value_);
            if (!stored.suite || !stored.suite->object(stored.key)) return std::nullopt;
            const int64_t value = stored.suite->integer(stored.key);
            if (value == 0 || value < std::numeric_limits<int32_t>::min() ||
                value > std::numeric_limits<int32_t>::max())
                return std::nullopt;
            return static_cast<int32_t>(value);
        }
        case Case::managedStorage: {
            const auto& handlers = std::get<ManagedStorage>(value_);
            return handlers.readHandler ? handlers.readHandler() : std::nullopt;
        }
        case Case::adHoc: return std::nullopt;
    }
    return std::nullopt;
}

void MIDIIdentifierPersistence::writeID(std::optional<int32_t> id) const {
    switch (persistenceCase()) {
        case Case::unmanaged:
        case Case::adHoc: return;
        case Case::userDefaultsManaged: {
            const auto& stored = std::get<UserDefaultsManaged>(value_);
            if (!stored.suite) return;
            if (id && *id != 0)
                stored.suite->set(stored.key, int64_t{*id});
            else
                stored.suite->remove(stored.key);
            return;
        }
        case Case::managedStorage: {
            const auto& handlers = std::get<ManagedStorage>(value_);
            if (handlers.storeHandler) handlers.storeHandler(id);
            return;
        }
    }
}

}  // namespace midiio
