#include "midi_io/key_value_store.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "io_detail.hpp"

namespace midiio {

namespace {

constexpr const char* kHeader = "tessaloom-key-value-store 1";
constexpr std::uintmax_t kMaximumFileSize = 1 << 20;

std::string escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            default: out += c;
        }
    }
    return out;
}

std::optional<std::string> unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
            case '\\': out += '\\'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'n': out += '\n'; break;
            default: return std::nullopt;
        }
    }
    return out;
}

std::optional<int64_t> wholeNumber(std::string_view text) {
    int64_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last) return std::nullopt;
    return value;
}

}  // namespace

namespace keyvaluestore {

std::string encode(const std::map<std::string, KeyValueStore::Value>& values) {
    std::string out = std::string(kHeader) + "\n";
    for (const auto& [key, value] : values) {
        if (const auto* number = std::get_if<int64_t>(&value))
            out += "i\t" + escape(key) + "\t" + std::to_string(*number) + "\n";
        else
            out += "s\t" + escape(key) + "\t" + escape(std::get<std::string>(value)) + "\n";
    }
    return out;
}

std::optional<std::map<std::string, KeyValueStore::Value>> decode(const std::string& text) {
    std::map<std::string, KeyValueStore::Value> values;
    std::string_view rest(text);
    auto nextLine = [&rest]() -> std::optional<std::string_view> {
        const size_t end = rest.find('\n');
        if (end == std::string_view::npos) return std::nullopt;  // every line ends with \n
        auto line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        return line;
    };
    const auto header = nextLine();
    if (!header || *header != kHeader) return std::nullopt;
    while (!rest.empty()) {
        const auto line = nextLine();
        if (!line) return std::nullopt;
        const size_t tab1 = line->find('\t');
        const size_t tab2 = tab1 == std::string_view::npos ? tab1 : line->find('\t', tab1 + 1);
        if (tab1 != 1 || tab2 == std::string_view::npos) return std::nullopt;
        const auto key = unescape(line->substr(2, tab2 - 2));
        const auto raw = line->substr(tab2 + 1);
        if (!key) return std::nullopt;
        if ((*line)[0] == 'i') {
            const auto number = wholeNumber(raw);
            if (!number || raw.front() == '+') return std::nullopt;
            values[*key] = *number;
        } else if ((*line)[0] == 's') {
            auto string = unescape(raw);
            if (!string) return std::nullopt;
            values[*key] = std::move(*string);
        } else {
            return std::nullopt;
        }
    }
    return values;
}

}  // namespace keyvaluestore

KeyValueStore::KeyValueStore(std::filesystem::path file) : file_(std::move(file)) {
    if (file_.empty()) return;
    std::error_code error;
    const auto size = std::filesystem::file_size(file_, error);
    if (error || size > kMaximumFileSize) return;
    std::ifstream in(file_, std::ios::binary);
    if (!in) return;
    std::ostringstream text;
    text << in.rdbuf();
    if (auto values = keyvaluestore::decode(text.str())) values_ = std::move(*values);
}

std::filesystem::path KeyValueStore::configurationFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') return xdg;
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return std::filesystem::path(home) / ".config";
    return {};
}

std::shared_ptr<KeyValueStore> KeyValueStore::standard() {
    static const auto store = [] {
        const auto folder = configurationFolder();
        return std::make_shared<KeyValueStore>(
            folder.empty() ? std::filesystem::path() : folder / "TessaloomMidiServer" / "defaults");
    }();
    return store;
}

std::optional<KeyValueStore::Value> KeyValueStore::object(const std::string& key) const {
    std::lock_guard lock(mutex_);
    const auto found = values_.find(key);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

int64_t KeyValueStore::integer(const std::string& key) const {
    const auto value = object(key);
    if (!value) return 0;
    if (const auto* number = std::get_if<int64_t>(&*value)) return *number;
    return wholeNumber(std::get<std::string>(*value)).value_or(0);
}

bool KeyValueStore::set(const std::string& key, Value value) {
    std::lock_guard lock(mutex_);
    values_[key] = std::move(value);
    return persistLocked();
}

bool KeyValueStore::remove(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
    return persistLocked();
}

bool KeyValueStore::persistLocked() const {
    if (file_.empty()) return false;
    std::error_code error;
    if (file_.has_parent_path()) std::filesystem::create_directories(file_.parent_path(), error);
    if (error) return false;
    const std::string text = keyvaluestore::encode(values_);
    const auto temporary =
        std::filesystem::path(file_.string() + ".tmp-" + detail::makeUUIDString());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool written = true;
    for (size_t done = 0; done < text.size() && written;) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += static_cast<size_t>(n);
    }
    written = written && ::fsync(fd) == 0;
    written = (::close(fd) == 0) && written;
    if (written) std::filesystem::rename(temporary, file_, error);
    if (!written || error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

}  // namespace midiio
