// Parses arbitrary bytes with the indexing reader under options taken from the input, then walks
// the result at random: lookups by name and position, lists, children, filters, attributes, text
// forms. Nothing may crash, hang or leak, and every lookup that is documented never to throw must
// not throw. A transient parse of the same text must give the same tree.
//
// Input layout: byte 0 selects the options, bytes 1-4 seed the walk, the rest is the document.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "xml/indexing.hpp"

namespace {

using namespace xmlindexing;

// A small deterministic generator, so that a failing input replays the same walk.
struct Walk {
    uint32_t state;
    uint32_t next(uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return bound == 0 ? 0 : (state >> 8) % bound;
    }
};

// A name to look up: one that occurs below the position when there is one, else a fixed one.
std::string pickName(const XMLIndexer& at, Walk& walk) {
    if (at.kind() == XMLIndexer::Kind::element) {
        const auto children = std::get<std::shared_ptr<XMLElement>>(at.value())->childElements();
        if (!children.empty() && walk.next(4) != 0)
            return children[walk.next(children.size())]->name();
    }
    static const char* const names[] = {"a", "b", "note", "A", "", "x:y"};
    return names[walk.next(6)];
}

void touch(const XMLElement& element, Walk& walk) {
    // Bounded text forms: a document of a few kilobytes gives texts of a few kilobytes.
    (void)element.text();
    (void)element.recursiveText();
    if (walk.next(4) == 0) (void)element.innerXML();
    (void)element.description();
    for (const auto& attribute : element.allAttributes()) {
        (void)element.attribute(attribute.name);
        (void)attribute.description();
    }
    (void)element.attribute("a");
}

void walkFrom(XMLIndexer at, Walk& walk) {
    for (int step = 0; step < 48; ++step) {
        switch (walk.next(12)) {
            case 0:
            case 1:
            case 2:
                at = at[pickName(at, walk)];
                break;
            case 3:
                at = at[static_cast<int64_t>(walk.next(4)) - 1];
                break;
            case 4: {
                const auto all = at.all();
                if (!all.empty()) at = all[walk.next(all.size())];
                break;
            }
            case 5: {
                const auto children = at.children();
                if (!children.empty()) at = children[walk.next(children.size())];
                break;
            }
            case 6:
                if (auto element = at.element()) touch(*element, walk);
                break;
            case 7: {
                const uint32_t keep = walk.next(3);
                at = at.filterAll([keep](const XMLElement&, int64_t i) { return i % 3 != keep; });
                break;
            }
            case 8: {
                const uint32_t keep = walk.next(3);
                at = at.filterChildren(
                    [keep](const XMLElement&, int64_t i) { return i % 3 != keep; });
                break;
            }
            case 9:
                try {
                    at = at.withAttribute("a", walk.next(2) == 0 ? "1" : "");
                } catch (const IndexingError&) {}
                break;
            case 10:
                try {
                    at = at.byKey(pickName(at, walk));
                } catch (const IndexingError&) {}
                break;
            default:
                (void)at.description();
                (void)at.allElements();
                (void)at.userInfo();
                break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const uint8_t flags = data[0];
    Walk walk{static_cast<uint32_t>(data[1]) | static_cast<uint32_t>(data[2]) << 8 |
              static_cast<uint32_t>(data[3]) << 16 | static_cast<uint32_t>(data[4]) << 24};
    const Bytes document(data + 5, size - 5);

    const auto hash = XMLHash::config([&](XMLHashOptions& o) {
        o.shouldProcessLazily = (flags & 1) != 0;
        o.shouldProcessNamespaces = (flags & 2) != 0;
        o.caseInsensitive = (flags & 4) != 0;
        o.detectParsingErrors = (flags & 8) != 0;
        static const StringEncoding encodings[] = {StringEncoding::utf8, StringEncoding::ascii,
                                                   StringEncoding::isoLatin1,
                                                   StringEncoding::utf16LittleEndian};
        o.encoding = encodings[(flags >> 5) & 3];
        // A small tree budget, which the parse (or, when lazy, the lookup that runs it) may
        // exceed with TreeSizeError.
        if ((flags & 128) != 0) o.maximumTreeSize = size_t{256} << 10;
    });
    // As bytes (encoding detected), or as text (parsed as UTF-8 when it is UTF-8).
    try {
        const XMLIndexer root =
            (flags & 16) != 0
                ? hash->parseDocument(document)
                : hash->parseDocument(std::string_view(
                      reinterpret_cast<const char*>(document.data()), document.size()));
        walkFrom(root, walk);
        walkFrom(root, walk);
    } catch (const TreeSizeError&) {
        if ((flags & 128) == 0) throw;  // only a budget gives this error
    }
    // The transient parse that one-pass readers use builds the same tree.
    if ((flags & 17) == 0) {
        const std::string_view text(reinterpret_cast<const char*>(document.data()),
                                    document.size());
        try {
            const std::string kept = hash->parseDocument(text).description();
            const std::string transient =
                detail::parseTransiently(text, hash->options()).description();
            if (kept != transient) __builtin_trap();
        } catch (const TreeSizeError&) {
            if ((flags & 128) == 0) throw;
        }
    }
    return 0;
}
