// A URL reference as RFC 3986 writes it, with its components.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace xmlaccess {

class URL {
  public:
    // The URL that `text` writes, or absent when `text` is empty or is not a URI reference
    // (absolute or relative): characters outside the URI character set (blanks, non-ASCII,
    // quotes, angle brackets, ...), a malformed percent escape, a bad scheme or port, or square
    // brackets outside the host.
    static std::optional<URL> parse(std::string_view text);

    // The text the URL was parsed from.
    const std::string& absoluteString() const { return text_; }
    const std::optional<std::string>& scheme() const { return scheme_; }
    // The authority parts, present when the reference has an authority ("//...").
    const std::optional<std::string>& user() const { return user_; }
    const std::optional<std::string>& host() const { return host_; }
    const std::optional<std::uint16_t>& port() const { return port_; }
    // The path as written, percent escapes kept; possibly empty.
    const std::string& path() const { return path_; }
    const std::optional<std::string>& query() const { return query_; }
    const std::optional<std::string>& fragment() const { return fragment_; }

    bool operator==(const URL&) const = default;

  private:
    URL() = default;

    std::string text_;
    std::optional<std::string> scheme_;
    std::optional<std::string> user_;
    std::optional<std::string> host_;
    std::optional<std::uint16_t> port_;
    std::string path_;
    std::optional<std::string> query_;
    std::optional<std::string> fragment_;
};

}  // namespace xmlaccess
