#include <algorithm>
#include <cctype>
#include <utility>

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

namespace {

std::string cannotResolve(const std::string& name, const std::string& why) {
    return "the host name \"" + name + "\" cannot be resolved" + (why.empty() ? "" : ": " + why);
}

std::string secondsText(Duration d) {
    const auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(d).count() / 100;
    return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : "") +
           " s";
}

// One lookup in flight: the resolver, the timer that bounds it, and the completion, which the
// first of the two to finish takes. Network thread only.
struct Lookup {
    asio::ip::udp::resolver resolver{detail::ioContext()};
    asio::steady_timer deadline{detail::ioContext()};
    std::string name;
    LookupCompletion completion;

    void finish(std::optional<IpAddress> address, const std::string& error) {
        auto done = std::exchange(completion, nullptr);
        if (done) done(address, error);
    }
};

}  // namespace

std::optional<IpAddress> parseHostText(std::string_view text) {
    if (auto literal = IpAddress::parse(text)) return literal;
    if (!isHostNameSyntax(text))
        throw NetError(NetError::Case::invalidAddress,
                       "\"" + std::string(text) + "\" is not an IP address or a host name");
    return std::nullopt;
}

IpAddress resolveHost(std::string_view text) {
    if (auto literal = parseHostText(text)) return *literal;
    const std::string shown(text);
    asio::io_context context;
    asio::ip::udp::resolver resolver(context);
    std::error_code error;
    // No "address configured" filter: on a host whose only interface is the loopback one, it
    // would hide the loopback addresses themselves.
    const auto results = resolver.resolve(shown, "", asio::ip::resolver_base::flags(), error);
    if (error || results.empty())
        throw NetError(NetError::Case::invalidAddress,
                       cannotResolve(shown, error ? detail::errorText(error) : std::string()));
    return detail::fromAsio(results.begin()->endpoint().address());
}

void lookUpHost(std::string hostName, Duration timeout, LookupCompletion completion) {
    auto lookup = std::make_shared<Lookup>();
    lookup->name = std::move(hostName);
    lookup->completion = std::move(completion);
    post([lookup, timeout] {
        if (!isHostNameSyntax(lookup->name)) {
            lookup->finish(std::nullopt, "\"" + lookup->name + "\" is not a host name");
            return;
        }
        lookup->deadline.expires_after(timeout);
        lookup->deadline.async_wait([lookup, timeout](const std::error_code& error) {
            if (error == asio::error::operation_aborted) return;
            lookup->finish(std::nullopt,
                           cannotResolve(lookup->name, "no answer within " + secondsText(timeout)));
            // The system resolver cannot be interrupted: its answer, when it comes, is dropped.
            lookup->resolver.cancel();
        });
        // The same flags as resolveHost (see there).
        lookup->resolver.async_resolve(
            lookup->name, "", asio::ip::resolver_base::flags(),
            [lookup](const std::error_code& error,
                     const asio::ip::udp::resolver::results_type& results) {
                lookup->deadline.cancel();
                if (error || results.empty())
                    lookup->finish(std::nullopt,
                                   cannotResolve(lookup->name, error ? detail::errorText(error)
                                                                     : std::string()));
                else
                    lookup->finish(detail::fromAsio(results.begin()->endpoint().address()), {});
            });
    });
}

}  // namespace net
