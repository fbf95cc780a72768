// The atoms of a QuickTime movie file: four-character codes, the error every reader and writer of
// this layer throws, and the atom tree of the movie header with its reader and writer.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace movie {

// A four-character code, most significant byte first ('tmcd' is 0x746D6364).
using FourCC = uint32_t;

constexpr FourCC fourCC(const char (&code)[5]) {
    return (static_cast<FourCC>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<FourCC>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<FourCC>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<FourCC>(static_cast<unsigned char>(code[3]));
}

// The code as four characters, non-printable bytes as '?'.
std::string fourCCText(FourCC code);

class MovieError : public std::runtime_error {
public:
    enum class Case {
        malformed,        // the bytes are not a well-formed movie
        unsupported,      // well-formed, but uses something this layer does not handle
        invalidArgument,  // a caller's value cannot be written into a movie
        io,               // a file could not be read or written
    };

    MovieError(Case errorCase, const std::string& message)
        : std::runtime_error(message), case_(errorCase) {}

    Case errorCase() const noexcept { return case_; }

private:
    Case case_;
};

// One atom of a parsed tree. A container holds child atoms (and, rarely, zero padding after the
// last one, kept as it was); any other atom holds its payload bytes as read, so that atoms this
// layer does not know are written back byte for byte.
struct Atom {
    FourCC type = 0;
    bool container = false;
    bool largeHeader = false;   // written with the 64-bit size form
    std::vector<uint8_t> data;  // leaf: the payload; container: the padding after the children
    std::vector<Atom> children;

    static Atom leaf(FourCC type, std::vector<uint8_t> payload);
    static Atom box(FourCC type, std::vector<Atom> children);

    // The size of the atom with its header, as written.
    uint64_t size() const;
    void appendTo(std::vector<uint8_t>& out) const;

    // The first child of the type, or null.
    Atom* child(FourCC childType);
    const Atom* child(FourCC childType) const;
    // Follows a path of first children; null where one is missing.
    const Atom* find(std::initializer_list<FourCC> path) const;
    Atom* find(std::initializer_list<FourCC> path);
};

// Whether atoms of this type are read as containers of further atoms.
bool isContainerType(FourCC type);

// Reads the atoms that fill `bytes` completely, descending into the container types. Throws
// MovieError (malformed) on a size smaller than its header, an atom running past the end of its
// parent or nesting deeper than any movie needs.
std::vector<Atom> parseAtoms(std::span<const uint8_t> bytes);

// Reads one atom that fills `bytes` exactly (its header included).
Atom parseAtom(std::span<const uint8_t> bytes);

}  // namespace movie
