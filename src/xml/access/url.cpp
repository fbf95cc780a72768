#include "xml/access/url.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace xmlaccess {

namespace {

bool isAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHex(char c) {
    return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
bool isUnreserved(char c) {
    return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelim(char c) {
    return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}
bool isGenDelim(char c) {
    return std::string_view(":/?#[]@").find(c) != std::string_view::npos;
}

// Every character belongs to the URI character set and every "%" starts an escape.
bool hasOnlyUriCharacters(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (text.size() - i < 3) return false;
            if (!isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
            i += 2;
        } else if (!isUnreserved(c) && !isSubDelim(c) && !isGenDelim(c)) {
            return false;
        }
    }
    return true;
}

bool hasNone(std::string_view text, std::string_view characters) {
    return text.find_first_of(characters) == std::string_view::npos;
}

bool isScheme(std::string_view text) {
    if (text.empty() || !isAlpha(text[0])) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.';
    });
}

bool isIPv4(std::string_view text) {
    int octets = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = text.find('.', start);
        const std::string_view octet = text.substr(start, dot - start);
        if (octet.empty() || octet.size() > 3 || (octet.size() > 1 && octet[0] == '0') ||
            !std::all_of(octet.begin(), octet.end(), isDigit)) {
            return false;
        }
        int value = 0;
        std::from_chars(octet.data(), octet.data() + octet.size(), value);
        if (value > 255) return false;
        ++octets;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return octets == 4;
}

// Counts the 16-bit groups of one side of an IPv6 address; an IPv4 address may end it.
bool countGroups(std::string_view part, bool mayEndInIPv4, std::size_t& count) {
    count = 0;
    if (part.empty()) return true;
    std::size_t start = 0;
    while (true) {
        const std::size_t colon = part.find(':', start);
        const std::string_view group = part.substr(start, colon - start);
        const bool last = colon == std::string_view::npos;
        if (last && mayEndInIPv4 && group.find('.') != std::string_view::npos) {
            if (!isIPv4(group)) return false;
            count += 2;
        } else {
            if (group.empty() || group.size() > 4 ||
                !std::all_of(group.begin(), group.end(), isHex)) {
                return false;
            }
            count += 1;
        }
        if (last) return true;
        start = colon + 1;
    }
}

bool isIPv6(std::string_view text) {
    const std::size_t gap = text.find("::");
    std::size_t left = 0;
    std::size_t right = 0;
    if (gap == std::string_view::npos) return countGroups(text, true, left) && left == 8;
    if (text.find("::", gap + 1) != std::string_view::npos) return false;
    return countGroups(text.substr(0, gap), false, left) &&
           countGroups(text.substr(gap + 2), true, right) && left + right <= 7;
}

bool isIPFuture(std::string_view text) {
    if (text.size() < 4 || (text[0] != 'v' && text[0] != 'V')) return false;
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || dot < 2) return false;
    const std::string_view version = text.substr(1, dot - 1);
    const std::string_view rest = text.substr(dot + 1);
    return std::all_of(version.begin(), version.end(), isHex) && !rest.empty() &&
           std::all_of(rest.begin(), rest.end(),
                       [](char c) { return isUnreserved(c) || isSubDelim(c) || c == ':'; });
}

}  // namespace

std::optional<URL> URL::parse(std::string_view text) {
    if (text.empty() || !hasOnlyUriCharacters(text)) return std::nullopt;
    URL url;
    url.text_ = std::string(text);
    std::string_view rest = text;

    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
        const std::string_view fragment = rest.substr(hash + 1);
        if (!hasNone(fragment, "#[]")) return std::nullopt;
        url.fragment_ = std::string(fragment);
        rest = rest.substr(0, hash);
    }
    if (const std::size_t question = rest.find('?'); question != std::string_view::npos) {
        const std::string_view query = rest.substr(question + 1);
        if (!hasNone(query, "[]")) return std::nullopt;
        url.query_ = std::string(query);
        rest = rest.substr(0, question);
    }

    // A colon before the first slash ends a scheme; in a relative reference the first path
    // segment may not hold one.
    const std::size_t colon = rest.find(':');
    if (colon != std::string_view::npos && colon < rest.find('/')) {
        if (!isScheme(rest.substr(0, colon))) return std::nullopt;
        url.scheme_ = std::string(rest.substr(0, colon));
        rest = rest.substr(colon + 1);
    }

    if (rest.substr(0, 2) == "//") {
        rest = rest.substr(2);
        const std::size_t slash = rest.find('/');
        std::string_view authority = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);

        if (const std::size_t at = authority.find('@'); at != std::string_view::npos) {
            const std::string_view user = authority.substr(0, at);
            if (!hasNone(user, "[]@")) return std::nullopt;
            url.user_ = std::string(user);
            authority = authority.substr(at + 1);
        }
        std::string_view host;
        std::string_view port;
        if (!authority.empty() && authority[0] == '[') {
            const std::size_t close = authority.find(']');
            if (close == std::string_view::npos) return std::nullopt;
            const std::string_view literal = authority.substr(1, close - 1);
            if (!isIPv6(literal) && !isIPFuture(literal)) return std::nullopt;
            host = authority.substr(0, close + 1);
            const std::string_view after = authority.substr(close + 1);
            if (!after.empty()) {
                if (after[0] != ':') return std::nullopt;
                port = after.substr(1);
            }
        } else {
            const std::size_t portColon = authority.find(':');
            host = authority.substr(0, portColon);
            if (portColon != std::string_view::npos) port = authority.substr(portColon + 1);
            if (!hasNone(host, "[]@")) return std::nullopt;
        }
        url.host_ = std::string(host);
        if (!port.empty()) {
            if (!std::all_of(port.begin(), port.end(), isDigit) || port.size() > 5) {
                return std::nullopt;
            }
            unsigned value = 0;
            std::from_chars(port.data(), port.data() + port.size(), value);
            if (value > 65535) return std::nullopt;
            url.port_ = static_cast<std::uint16_t>(value);
        }
    }

    if (!hasNone(rest, "[]")) return std::nullopt;
    url.path_ = std::string(rest);
    return url;
}

}  // namespace xmlaccess
