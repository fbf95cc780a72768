// Parses arbitrary bytes with the accessor-style reader, walks the tree through accessors, writes
// it and checks that the written text parses back to the same tree.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "xml/access/access.hpp"

namespace {

using xmlaccess::CharacterSet;
using xmlaccess::XML;
using xmlaccess::XMLError;

// Whether two trees have the same names, attributes, texts and children, compared without
// recursion.
bool sameStructure(const XML::Element& left, const XML::Element& right) {
    std::vector<std::pair<const XML::Element*, const XML::Element*>> pending{{&left, &right}};
    while (!pending.empty()) {
        const auto [a, b] = pending.back();
        pending.pop_back();
        if (a->name() != b->name() || a->text() != b->text() ||
            a->attributes() != b->attributes() ||
            a->childElements().size() != b->childElements().size()) {
            return false;
        }
        for (std::size_t i = 0; i < a->childElements().size(); ++i) {
            pending.push_back({a->childElements()[i].get(), b->childElements()[i].get()});
        }
    }
    return true;
}

// Reads every element (up to a bound) through the accessor operations. A lookup by name returns
// every child of that name, so each name is looked up once per element: once per child, n siblings
// of one name would cost the walk n squared where the reader spends n. Only as many positions are
// queued as the bound still lets the walk visit, so that the time goes to the reader.
void exercise(const XML::Accessor& document) {
    std::size_t budget = 200;
    std::vector<XML::Accessor> pending{document};
    while (!pending.empty() && budget-- > 0) {
        const XML::Accessor position = pending.back();
        pending.pop_back();
        (void)position.description();
        (void)position.intValue();
        (void)position.doubleValue();
        (void)position.boolValue();
        (void)position.urlValue();
        (void)position.first().last()[1];
        for (const XML::Accessor& single : position) {
            if (pending.size() >= budget) break;
            std::unordered_set<std::string_view> lookedUp;
            for (const auto& child : single.element()->childElements()) {
                if (pending.size() >= budget) break;
                if (!lookedUp.insert(child->name()).second) continue;
                const XML::Accessor found = single[child->name()];
                (void)found.names();
                pending.push_back(found);
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    // The options come from the length, so that every seed is a plain document.
    const bool trim = size % 2 == 1;
    const bool ignoreNamespaces = size % 4 >= 2;
    const std::optional<CharacterSet> trimming =
        trim ? std::optional(CharacterSet::whitespacesAndNewlines()) : std::nullopt;

    const XML::Accessor document = XML::parse(bytes, trimming, ignoreNamespaces);
    try {
        (void)XML::parse(std::string_view(reinterpret_cast<const char*>(data), size), trimming,
                         ignoreNamespaces);
    } catch (const XMLError& e) {
        if (e.errorCase() != XMLError::Case::failToEncodeString) std::abort();
    }
    exercise(document);
    if (document.kind() == XML::Accessor::Case::failure) {
        try {
            XML::convert(document, true);
            std::abort();  // a failure must raise its error
        } catch (const XMLError&) {}
        return 0;
    }

    std::string written;
    try {
        written = XML::convert(document, false);
    } catch (const XMLError& e) {
        // Latin-1 and UTF-16 input let a few characters into names that XML names exclude; the
        // writer refuses them, and the same name must then be refused in UTF-8 input as well.
        if (e.errorCase() != XMLError::Case::invalidName) std::abort();
        if (XML::parse("<" + e.description() + "/>").kind() != XML::Accessor::Case::failure) {
            std::abort();
        }
        return 0;
    }
    if (XML::convert(document, true) != std::string(XML::Converter::declaration) + written) {
        std::abort();
    }
    const XML::Accessor reparsed = XML::parse(written, trimming, ignoreNamespaces);
    if (reparsed.kind() != XML::Accessor::Case::singleElement) std::abort();
    // Trimming may leave an empty text that reads back as absent; without it the trees match.
    if (!trim && !sameStructure(*document.element(), *reparsed.element())) std::abort();
    return 0;
}
