// Hostile XML documents shared by the tests of the XML layers.
#pragma once

#include <string>
#include <string_view>

namespace testsupport {

// Nine levels of entities, each expanding to ten of the level below: about 3 GB of text once
// expanded, from less than 1 KB of input.
inline std::string billionLaughs() {
    std::string lol = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    lol += "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">";
    for (int i = 2; i <= 9; ++i) {
        lol += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k)
            lol += "&lol" + std::to_string(i - 1) + ";";
        lol += "\">";
    }
    lol += "]><lolz>&lol9;</lolz>";
    return lol;
}

// `depth` elements named "a", each inside the one before, with `inner` in the innermost one.
inline std::string nestedElements(size_t depth, std::string_view inner = {}) {
    std::string document;
    document.reserve(depth * 7 + inner.size());
    for (size_t i = 0; i < depth; ++i)
        document += "<a>";
    document += inner;
    for (size_t i = 0; i < depth; ++i)
        document += "</a>";
    return document;
}

}  // namespace testsupport
