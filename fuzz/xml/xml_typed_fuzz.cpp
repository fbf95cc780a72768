// Arbitrary documents through the typed readers. The first byte picks the parse options, the rest
// is the document. Every reader, in every result shape and for every built-in type, is run at
// element, list, error and stream positions of the parsed tree. Each read must give a value or
// throw XMLDeserializationError (anything else escapes and stops the run); the number rules must
// agree with std::from_chars where both apply; the shapes must agree with each other; and a lazy
// parse must read the same along a path as the full parse.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "xml/indexing.hpp"

namespace {

using namespace xmlindexing;

void require(bool condition) {
    if (!condition) std::abort();
}

// A whole-node type that reads its own parts through the readers.
struct Probe {
    std::string text;
    static Probe deserialize(const XMLIndexer& node) {
        Probe probe;
        for (const auto& attribute : value<std::vector<std::optional<std::string>>>(node, "a")) {
            probe.text += attribute.value_or("-");
        }
        if (auto first = node.children(); !first.empty()) {
            probe.text +=
                value<std::optional<std::string>>(first.front(), elementContent).value_or("?");
        }
        return probe;
    }
};

std::string render(const std::string& v) {
    return "s" + v;
}
std::string render(int64_t v) {
    return "i" + std::to_string(v);
}
std::string render(double v) {
    if (std::isnan(v)) return "nan";
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, end);
}
std::string render(float v) {
    return render(static_cast<double>(v)) + "f";
}
std::string render(bool v) {
    return v ? "true" : "false";
}
std::string render(const Probe& v) {
    return "p" + v.text;
}
template <class T>
std::string render(const std::optional<T>& v);
template <class T>
std::string render(const std::vector<T>& v);
template <class T>
std::string render(const std::optional<T>& v) {
    return v ? "(" + render(*v) + ")" : "none";
}
template <class T>
std::string render(const std::vector<T>& v) {
    std::string out = "[";
    for (const auto& entry : v)
        out += render(static_cast<const T&>(entry)) + ",";
    return out + "]";
}

// The outcome of a read as text: its rendered value or its error.
template <class Read>
std::string outcome(Read read) {
    try {
        return render(read());
    } catch (const XMLDeserializationError& e) {
        require(e.description() == e.what() && !e.description().empty());
        return "error " + std::to_string(static_cast<int>(e.errorCase())) + " " + e.what();
    }
}

// Every shape of one family for one type; the outcomes are joined.
template <class T, class Read>
std::string allShapes(Read read) {
    std::string out;
    out += outcome([&] { return read.template operator()<T>(); }) + "|";
    out += outcome([&] { return read.template operator()<std::optional<T>>(); }) + "|";
    out += outcome([&] { return read.template operator()<std::vector<T>>(); }) + "|";
    out += outcome([&] { return read.template operator()<std::optional<std::vector<T>>>(); }) + "|";
    out += outcome([&] { return read.template operator()<std::vector<std::optional<T>>>(); });
    return out;
}

// A position to read at, made anew for every read: reading a stream position uses up its
// recorded lookups.
using Position = std::function<XMLIndexer()>;

template <class T>
std::string readAttribute(const Position& at, const std::string& name) {
    return allShapes<T>([&]<class R>() { return value<R>(at(), name); });
}

template <class T>
std::string readContent(const Position& at) {
    return allShapes<T>([&]<class R>() { return value<R>(at(), elementContent); });
}

// std::from_chars as an independent reading of decimal numbers: it takes no leading plus sign,
// no white space, no hexadecimal prefix and no words, so compare only where the text is plain
// decimal.
bool plainDecimal(std::string_view text) {
    if (text.empty() || text.front() == '+') return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+')) {
            return false;
        }
    }
    return true;
}

template <class F>
void checkFloating(const std::string& text) {
    if (!plainDecimal(text)) return;
    F expected{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), expected);
    if (ec == std::errc::result_out_of_range) return;
    const bool accepted = ec == std::errc() && end == text.data() + text.size();
    std::optional<F> got;
    try {
        got = deserialize<F>(XMLAttribute{"a", text});
    } catch (const XMLDeserializationError&) {}
    require(accepted == got.has_value());
    if (accepted) require(*got == expected);
}

void checkNumberRules(const std::string& text) {
    std::optional<int64_t> integer;
    try {
        integer = deserialize<int64_t>(XMLAttribute{"a", text});
    } catch (const XMLDeserializationError&) {}
    std::string_view digits = text;
    if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-') digits.remove_prefix(1);
    int64_t expected = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), expected);
    const bool accepted =
        !digits.empty() && ec == std::errc() && end == digits.data() + digits.size();
    require(accepted == integer.has_value());
    if (accepted) require(*integer == expected);

    checkFloating<double>(text);
    checkFloating<float>(text);
}

// Reads everything at one position; the outcomes are returned for comparison with a lazy parse.
std::string readAll(const Position& at, const std::vector<std::string>& names) {
    std::string out;
    for (const auto& name : names) {
        out += readAttribute<std::string>(at, name);
        out += readAttribute<int64_t>(at, name);
        out += readAttribute<double>(at, name);
        out += readAttribute<float>(at, name);
        out += readAttribute<bool>(at, name);
    }
    out += readContent<std::string>(at);
    out += readContent<int64_t>(at);
    out += readContent<double>(at);
    out += readContent<float>(at);
    out += readContent<bool>(at);
    out += allShapes<Probe>([&]<class R>() { return value<R>(at(), wholeNode); });

    // The array shapes agree with reading each element on its own.
    if (const auto list = at(); list.kind() == XMLIndexer::Kind::list) {
        const auto elements = list.allElements();
        const auto entries = value<std::vector<std::optional<std::string>>>(list, names.front());
        require(entries.size() == elements.size());
        for (size_t i = 0; i < elements.size(); ++i) {
            require(entries[i] == value<std::optional<std::string>>(elements[i], names.front()));
        }
    }
    return out;
}

// Up to a few attribute names of the position's first element, and one that no element has.
std::vector<std::string> attributeNames(const XMLIndexer& at) {
    std::vector<std::string> names;
    const auto elements = at.allElements();
    if (!elements.empty()) {
        for (const auto& attribute : elements.front()->allAttributes()) {
            if (names.size() == 2) break;
            names.push_back(attribute.name);
            checkNumberRules(attribute.text);
        }
        checkNumberRules(elements.front()->text());
    }
    names.emplace_back("\x01");
    return names;
}

bool asciiPath(const std::vector<std::string>& path) {
    for (const auto& name : path) {
        for (const char c : name) {
            if (static_cast<unsigned char>(c) >= 0x80) return false;
        }
    }
    return true;
}

constexpr size_t maxPositions = 24;
constexpr size_t maxLazyPaths = 2;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const Bytes document(data + 1, size - 1);
    const auto configure = [flags](XMLHashOptions& o) {
        o.caseInsensitive = flags & 1;
        o.detectParsingErrors = flags & 2;
        o.shouldProcessNamespaces = flags & 4;
    };
    const auto hash = XMLHash::config(configure);
    const XMLIndexer root = hash->parseDocument(document);

    // Breadth first from the root: each element, each name among its children (an element or a
    // list), the second of those, and a name that is missing (an error).
    std::vector<XMLIndexer> positions{root, root["\x01"]};
    std::vector<std::vector<std::string>> paths{{}, {"\x01"}};
    for (size_t i = 0; i < positions.size() && positions.size() < maxPositions; ++i) {
        if (positions[i].kind() != XMLIndexer::Kind::element) continue;
        std::set<std::string> seen;
        for (const auto& child : positions[i].children()) {
            const auto& name = child.element()->name();
            if (!seen.insert(name).second) continue;
            auto path = paths[i];
            path.push_back(name);
            positions.push_back(positions[i][name]);
            paths.push_back(path);
            if (positions.back().kind() == XMLIndexer::Kind::list) {
                positions.push_back(positions.back()[1]);
                paths.push_back({});
            }
            if (positions.size() >= maxPositions) break;
        }
    }

    const auto lazyHash = XMLHash::config([&](XMLHashOptions& o) {
        configure(o);
        o.shouldProcessLazily = true;
    });
    size_t lazyReads = 0;
    for (size_t i = 0; i < positions.size(); ++i) {
        const auto names = attributeNames(positions[i]);
        const std::string full = readAll([&] { return positions[i]; }, names);

        // The same path through a lazy parse reads the same. Every read parses the document again,
        // so only a few paths are compared. A lazy parse reports no parse errors and matches names
        // byte for byte (never ignoring case, never by canonical equivalence), so only paths of
        // ASCII names through a full tree without case folding are comparable.
        if (root.kind() != XMLIndexer::Kind::element || (flags & 1) || paths[i].empty() ||
            !asciiPath(paths[i]) || lazyReads == maxLazyPaths) {
            continue;
        }
        ++lazyReads;
        const Position stream = [&] {
            XMLIndexer at = lazyHash->parseDocument(document);
            for (const auto& name : paths[i])
                at = at[name];
            return at;
        };
        require(readAll(stream, names) == full);
    }
    return 0;
}
