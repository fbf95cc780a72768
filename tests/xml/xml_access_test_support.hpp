// Helpers shared by the accessor-style reader's tests.
#pragma once

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "xml/access/access.hpp"

namespace xmlaccess::test {

// The structure of a tree as text, one line per element: depth, name, attributes and text. Two
// trees are structurally equal when their outlines are. Walks without recursion.
inline std::string outline(const XML::Element& root) {
    std::string out;
    std::vector<std::pair<const XML::Element*, std::size_t>> pending{{&root, 0}};
    while (!pending.empty()) {
        const auto [element, depth] = pending.back();
        pending.pop_back();
        out += std::to_string(depth) + " <" + element->name();
        for (const auto& [name, value] : element->attributes())
            out += " " + name + "=[" + value + "]";
        out += ">";
        if (element->text()) out += " text=[" + *element->text() + "]";
        out += "\n";
        const auto& children = element->childElements();
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            pending.push_back({it->get(), depth + 1});
    }
    return out;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::filesystem::path> dataDocuments() {
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(PROJECT_TEST_DATA_DIR) / "xml_access")) {
        paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

inline XML::Accessor parseBytes(const std::string& bytes,
                                const std::optional<CharacterSet>& trim = {},
                                bool ignoreNamespaces = false) {
    return XML::parse(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                      trim, ignoreNamespaces);
}

// Whether xmllint, an independent parser, reads `text` as a well-formed document.
inline bool xmllintAccepts(const std::string& text) {
    static int counter = 0;
    const auto path =
        std::filesystem::temp_directory_path() /
        ("xml_access_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".xml");
    std::ofstream(path, std::ios::binary) << text;
    const std::string command = "xmllint --noout '" + path.string() + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    std::filesystem::remove(path);
    return status == 0;
}

}  // namespace xmlaccess::test
