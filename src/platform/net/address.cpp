#include <algorithm>
#include <cctype>

#include "detail.hpp"

namespace net {

struct AddressAccess {
    static IpAddress make(bool v4, const uint8_t* bytes, size_t count, uint32_t scope) {
        IpAddress a;
        a.isV4_ = v4;
        std::copy(bytes, bytes + count, a.bytes_.begin());
        a.scope_ = scope;
        return a;
    }
};

IpAddress IpAddress::v4(std::array<uint8_t, 4> bytes) {
    return AddressAccess::make(true, bytes.data(), 4, 0);
}

IpAddress IpAddress::v6(std::array<uint8_t, 16> bytes) {
    return detail::fromAsio(asio::ip::make_address_v6(bytes));
}

std::optional<IpAddress> IpAddress::parse(std::string_view text) {
    std::error_code error;
    const auto address = asio::ip::make_address(std::string(text), error);
    if (error) return std::nullopt;
    return detail::fromAsio(address);
}

std::string IpAddress::toString() const {
    return detail::toAsio(*this).to_string();
}

namespace detail {

asio::ip::address toAsio(const IpAddress& address) {
    if (address.isV4()) {
        asio::ip::address_v4::bytes_type b;
        std::copy_n(address.bytes().begin(), 4, b.begin());
        return asio::ip::make_address_v4(b);
    }
    return asio::ip::make_address_v6(address.bytes(), address.scopeId());
}

IpAddress fromAsio(const asio::ip::address& address) {
    if (address.is_v4()) {
        const auto b = address.to_v4().to_bytes();
        return AddressAccess::make(true, b.data(), b.size(), 0);
    }
    const auto v6 = address.to_v6();
    if (v6.is_v4_mapped()) {
        const auto b = asio::ip::make_address_v4(asio::ip::v4_mapped, v6).to_bytes();
        return AddressAccess::make(true, b.data(), b.size(), 0);
    }
    const auto b = v6.to_bytes();
    return AddressAccess::make(false, b.data(), b.size(), v6.scope_id());
}

}  // namespace detail

bool isHostNameSyntax(std::string_view text) {
    if (text.empty() || text.size() > 253) return false;
    if (text.back() == '.') text.remove_suffix(1);
    bool allNumeric = true;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t dot = std::min(text.find('.', start), text.size());
        const auto label = text.substr(start, dot - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        for (const char c : label) {
            const auto u = static_cast<unsigned char>(c);
            if (!std::isalnum(u) && c != '-') return false;
            if (!std::isdigit(u)) allNumeric = false;
        }
        start = dot + 1;
    }
    // A dotted run of numbers is meant as an IPv4 address; one that failed to parse as one is a
    // typing error, not a name to look up.
    return !allNumeric;
}

std::optional<IpAddress> parseHostText(std::string_view text) {
    if (auto literal = IpAddress::parse(text)) return literal;
    if (!isHostNameSyntax(text))
        throw NetError(NetError::Case::invalidAddress,
                       "\"" + std::string(text) + "\" is not an IP address or a host name");
    return std::nullopt;
}

}  // namespace net
