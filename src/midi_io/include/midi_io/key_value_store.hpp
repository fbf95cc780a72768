// A small persisted key-value store for settings the MIDI layer keeps between runs (the unique IDs
// of virtual endpoints). Values are whole numbers or texts. The store lives in one file, by default
// under the user's configuration folder ($XDG_CONFIG_HOME, else ~/.config); every change rewrites
// the file atomically (a temporary file in the same folder, then a rename), so a crash leaves
// either the old or the new contents. A file that cannot be read as a store reads as empty.
//
// Thread-safe: every operation may be called from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

namespace midiio {

class KeyValueStore {
  public:
    using Value = std::variant<int64_t, std::string>;

    // A store kept in `file` (loaded now; created on the first change). An empty path keeps the
    // values in memory only.
    explicit KeyValueStore(std::filesystem::path file);

    // The process's standard store: "<configuration folder>/TessaloomMidiServer/defaults" (made
    // once, on first use).
    static std::shared_ptr<KeyValueStore> standard();
    // The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, else
    // $HOME/.config; empty when neither is known.
    static std::filesystem::path configurationFolder();

    const std::filesystem::path& file() const { return file_; }

    // The value under `key`, none when there is none.
    std::optional<Value> object(const std::string& key) const;
    // The value under `key` read as an integer: a number as it is, a text that is a whole decimal
    // number as that number, anything else (no value included) 0.
    int64_t integer(const std::string& key) const;

    // Stores a value, or removes it. Returns whether the file was written (the value is kept in
    // memory either way).
    bool set(const std::string& key, Value value);
    bool remove(const std::string& key);

  private:
    bool persistLocked() const;

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    std::map<std::string, Value> values_;
};

// The store's file format, exposed for tests and tools: a first line naming the format, then one
// line per value, "i<TAB>key<TAB>decimal" or "s<TAB>key<TAB>text", with backslash, tab, carriage
// return and line feed written as \\, \t, \r, \n. Parsing gives none for anything else.
namespace keyvaluestore {
std::string encode(const std::map<std::string, KeyValueStore::Value>& values);
std::optional<std::map<std::string, KeyValueStore::Value>> decode(const std::string& text);
}  // namespace keyvaluestore

}  // namespace midiio
