// Drives the reading of a typed headset address with arbitrary text, checking its promises:
// only NetError::invalidAddress is thrown; an IP literal prints as text that reads back to the
// same address; text left for a lookup is a host name (at most 253 characters of letters, digits,
// hyphens and dots, not all digits and dots) and never an IP literal; and refused text is neither.
// Nothing here asks the resolver.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/net.hpp"

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<net::IpAddress> literal;
    bool refused = false;
    try {
        literal = net::parseHostText(text);
    } catch (const net::NetError& error) {
        check(error.errorCase() == net::NetError::Case::invalidAddress);
        refused = true;
    }
    const auto parsed = net::IpAddress::parse(text);
    const bool name = net::isHostNameSyntax(text);
    if (literal) {
        check(parsed && *parsed == *literal);
        check(net::IpAddress::parse(literal->toString()) == literal);
    } else if (!refused) {
        check(name && !parsed);
        check(size <= 253);
        bool allDigits = true;
        for (const char c : text) {
            const auto u = static_cast<unsigned char>(c);
            check(std::isalnum(u) || c == '-' || c == '.');
            if (std::isalpha(u) || c == '-') allDigits = false;
        }
        check(!allDigits);
    } else {
        check(!name && !parsed);
    }
    return 0;
}
