// Where the unique ID of a virtual input or output comes from and where it is kept between runs,
// so that other software sees the same endpoint again after a restart.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "midi_io/key_value_store.hpp"

namespace midiio {

class MIDIIdentifierPersistence {
  public:
    enum class Case { unmanaged, userDefaultsManaged, managedStorage, adHoc };

    using ReadHandler = std::function<std::optional<int32_t>()>;
    using StoreHandler = std::function<void(std::optional<int32_t>)>;

    struct Unmanaged {
        int32_t id = 0;
    };
    struct UserDefaultsManaged {
        std::string key;
        std::shared_ptr<KeyValueStore> suite;
    };
    struct ManagedStorage {
        ReadHandler readHandler;
        StoreHandler storeHandler;
    };
    struct AdHoc {};

    // Exactly this ID; nothing is stored.
    static MIDIIdentifierPersistence unmanaged(int32_t id);
    // Read and stored under `key` in `suite` (the standard store when none is given).
    static MIDIIdentifierPersistence userDefaultsManaged(
        std::string key, std::shared_ptr<KeyValueStore> suite = KeyValueStore::standard());
    // The caller keeps the ID.
    static MIDIIdentifierPersistence managedStorage(ReadHandler readHandler,
                                                    StoreHandler storeHandler);
    // No stored ID: the services assign one; nothing is stored.
    static MIDIIdentifierPersistence adHoc();

    Case persistenceCase() const { return static_cast<Case>(value_.index()); }
    template <class T>
    const T* getIf() const {
        return std::get_if<T>(&value_);
    }

    // The stored ID, or none. In a store, a value outside the 32-bit range, and 0 (no endpoint
    // has unique ID 0; a text that is no number reads as 0), read as none.
    std::optional<int32_t> readID() const;
    // Stores an ID, or clears it with none. In a store, 0 clears too.
    void writeID(std::optional<int32_t> id) const;

  private:
    using Value = std::variant<Unmanaged, UserDefaultsManaged, ManagedStorage, AdHoc>;
    explicit MIDIIdentifierPersistence(Value value) : value_(std::move(value)) {}
    Value value_;
};


}  // namespace midiio
