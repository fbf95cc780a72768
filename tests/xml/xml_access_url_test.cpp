#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "xml/access/url.hpp"

namespace {

using xmlaccess::URL;
using Text = std::optional<std::string>;

TEST(XmlAccessUrl, SplitsTheExamplesOfRfc3986) {
    // RFC 3986, section 1.1.2, and relative references of section 5.4.
    const struct {
        const char* text;
        Text scheme, host;
        std::optional<std::uint16_t> port;
        std::string path;
        Text query, fragment, user;
    } cases[] = {
        {"ftp://ftp.is.co.za/rfc/rfc1808.txt",
         "ftp",
         "ftp.is.co.za",
         {},
         "/rfc/rfc1808.txt",
         {},
         {},
         {}},
        {"http://www.ietf.org/rfc/rfc2396.txt",
         "http",
         "www.ietf.org",
         {},
         "/rfc/rfc2396.txt",
         {},
         {},
         {}},
        {"ldap://[2001:db8::7]/c=GB?objectClass?one",
         "ldap",
         "[2001:db8::7]",
         {},
         "/c=GB",
         "objectClass?one",
         {},
         {}},
        {"mailto:John.Doe@example.com", "mailto", {}, {}, "John.Doe@example.com", {}, {}, {}},
        {"news:comp.infosystems.www.servers.unix",
         "news",
         {},
         {},
         "comp.infosystems.www.servers.unix",
         {},
         {},
         {}},
        {"tel:+1-816-555-1212", "tel", {}, {}, "+1-816-555-1212", {}, {}, {}},
        {"telnet://192.0.2.16:80/", "telnet", "192.0.2.16", 80, "/", {}, {}, {}},
        {"urn:oasis:names:specification:docbook:dtd:xml:4.1.2",
         "urn",
         {},
         {},
         "oasis:names:specification:docbook:dtd:xml:4.1.2",
         {},
         {},
         {}},
        {"foo://example.com:8042/over/there?name=ferret#nose",
         "foo",
         "example.com",
         8042,
         "/over/there",
         "name=ferret",
         "nose",
         {}},
        {"http://user:pw@[::ffff:192.0.2.1]:8080/p%20q",
         "http",
         "[::ffff:192.0.2.1]",
         8080,
         "/p%20q",
         {},
         {},
         "user:pw"},
        {"file:///etc/hosts", "file", "", {}, "/etc/hosts", {}, {}, {}},
        {"g;x?y#s", {}, {}, {}, "g;x", "y", "s", {}},
        {"../g", {}, {}, {}, "../g", {}, {}, {}},
        {"//g", {}, "g", {}, "", {}, {}, {}},
        {"#s", {}, {}, {}, "", {}, "s", {}},
        {"./this:that", {}, {}, {}, "./this:that", {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto url = URL::parse(c.text);
        ASSERT_TRUE(url.has_value());
        EXPECT_EQ(url->absoluteString(), c.text);
        EXPECT_EQ(url->scheme(), c.scheme);
        EXPECT_EQ(url->host(), c.host);
        EXPECT_EQ(url->port(), c.port);
        EXPECT_EQ(url->path(), c.path);
        EXPECT_EQ(url->query(), c.query);
        EXPECT_EQ(url->fragment(), c.fragment);
        EXPECT_EQ(url->user(), c.user);
    }
}

TEST(XmlAccessUrl, RejectsTextsThatAreNotUriReferences) {
    for (const char* text : {"",
                             "a b",
                             "http://exa mple.com",
                             "caf\xC3\xA9",
                             "%",
                             "%4",
                             "%zz",
                             "a\"b",
                             "<x>",
                             "http://[::1",
                             "http://[::1]x/",
                             "http://[1:2:3]/",
                             "http://[::1::2]/",
                             "http://a:99999/",
                             "http://a:8a/",
                             "1a:b",
                             ":x",
                             "this:that/../x:y#a#b",
                             "http://a/[x]",
                             "http://a/?[",
                             "http://u@v@h/",
                             "a\\b",
                             "x{y}"}) {
        EXPECT_FALSE(URL::parse(text).has_value()) << text;
    }
}

}  // namespace
