#include "movie/atoms.hpp"

#include "bytes.hpp"

#include <algorithm>
#include <array>
#include <limits>

namespace movie {

using detail::malformed;

std::string fourCCText(FourCC code) {
    std::string text(4, '?');
    for (int i = 0; i < 4; ++i) {
        auto byte = static_cast<unsigned char>(code >> (24 - 8 * i));
        if (byte >= 0x20 && byte < 0x7F) {
            text[static_cast<std::size_t>(i)] = static_cast<char>(byte);
        }
    }
    return text;
}

bool isContainerType(FourCC type) {
    static constexpr std::array containers{fourCC("moov"), fourCC("trak"), fourCC("mdia"), fourCC("minf"),
                                           fourCC("stbl"), fourCC("dinf"), fourCC("edts"), fourCC("tref")};
    return std::find(containers.begin(), containers.end(), type) != containers.end();
}

Atom Atom::leaf(FourCC type, std::vector<uint8_t> payload) {
    Atom atom;
    atom.type = type;
    atom.data = std::move(payload);
    return atom;
}

Atom Atom::box(FourCC type, std::vector<Atom> children) {
    Atom atom;
    atom.type = type;
    atom.container = true;
    atom.children = std::move(children);
    return atom;
}

uint64_t Atom::size() const {
    uint64_t content = data.size();
    for (const auto& c : children) {
        content += c.size();
    }
    bool large = largeHeader || content + 8 > std::numeric_limits<uint32_t>::max();
    return content + (large ? 16 : 8);
}

void Atom::appendTo(std::vector<uint8_t>& out) const {
    uint64_t total = size();
    bool large = largeHeader || total > std::numeric_limits<uint32_t>::max();
    detail::putU32(out, large ? 1 : static_cast<uint32_t>(total));
    detail::putU32(out, type);
    if (large) {
        detail::putU64(out, total);
    }
    for (const auto& c : children) {
        c.appendTo(out);
    }
    out.insert(out.end(), data.begin(), data.end());
}

Atom* Atom::child(FourCC childType) {
    auto it = std::find_if(children.begin(), children.end(), [&](const Atom& a) { return a.type == childType; });
    return it == children.end() ? nullptr : &*it;
}

const Atom* Atom::child(FourCC childType) const { return const_cast<Atom*>(this)->child(childType); }

Atom* Atom::find(std::initializer_list<FourCC> path) {
    Atom* atom = this;
    for (FourCC step : path) {
        atom = atom->child(step);
        if (atom == nullptr) {
            return nullptr;
        }
    }
    return atom;
}

const Atom* Atom::find(std::initializer_list<FourCC> path) const { return const_cast<Atom*>(this)->find(path); }

namespace {

// moov > trak > mdia > minf > stbl > leaf is the deepest real path; anything far deeper is hostile.
constexpr int maximumDepth = 16;

void parseInto(std::span<const uint8_t> bytes, int depth, std::vector<Atom>& out, std::vector<uint8_t>* padding);

Atom parseOne(std::span<const uint8_t> bytes, std::size_t& position, int depth) {
    const std::size_t start = position;
    const std::size_t available = bytes.size() - start;
    if (available < 8) {
        malformed("An atom header at offset " + std::to_string(start) + " is truncated.");
    }
    uint64_t size = detail::getU32(bytes.data() + start);
    FourCC type = detail::getU32(bytes.data() + start + 4);
    std::size_t header = 8;
    bool large = false;
    if (size == 1) {
        if (available < 16) {
            malformed("The 64-bit size of atom '" + fourCCText(type) + "' is truncated.");
        }
        size = (static_cast<uint64_t>(detail::getU32(bytes.data() + start + 8)) << 32) |
               detail::getU32(bytes.data() + start + 12);
        header = 16;
        large = true;
    } else if (size == 0) {
        size = available;  // extends to the end of its parent
    }
    if (size < header) {
        malformed("Atom '" + fourCCText(type) + "' declares " + std::to_string(size) +
                  " bytes, fewer than its own header.");
    }
    if (size > available) {
        malformed("Atom '" + fourCCText(type) + "' declares " + std::to_string(size) + " bytes but only " +
                  std::to_string(available) + " remain.");
    }
    auto content = bytes.subspan(start + header, static_cast<std::size_t>(size) - header);
    position = start + static_cast<std::size_t>(size);
    Atom atom;
    atom.type = type;
    atom.largeHeader = large;
    if (isContainerType(type)) {
        if (depth >= maximumDepth) {
            malformed("Atoms are nested more than " + std::to_string(maximumDepth) + " deep.");
        }
        atom.container = true;
        parseInto(content, depth + 1, atom.children, &atom.data);
    } else {
        atom.data.assign(content.begin(), content.end());
    }
    return atom;
}

void parseInto(std::span<const uint8_t> bytes, int depth, std::vector<Atom>& out, std::vector<uint8_t>* padding) {
    std::size_t position = 0;
    while (position < bytes.size()) {
        // Some writers end a list of atoms with a zero 32-bit word; it is kept as padding.
        if (padding != nullptr && bytes.size() - position < 8 &&
            std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(position), bytes.end(),
                        [](uint8_t b) { return b == 0; })) {
            padding->assign(bytes.begin() + static_cast<std::ptrdiff_t>(position), bytes.end());
            return;
        }
        out.push_back(parseOne(bytes, position, depth));
    }
}

}  // namespace

std::vector<Atom> parseAtoms(std::span<const uint8_t> bytes) {
    std::vector<Atom> atoms;
    parseInto(bytes, 0, atoms, nullptr);
    return atoms;
}

Atom parseAtom(std::span<const uint8_t> bytes) {
    std::size_t position = 0;
    Atom atom = parseOne(bytes, position, 0);
    if (position != bytes.size()) {
        malformed("Atom '" + fourCCText(atom.type) + "' is followed by " + std::to_string(bytes.size() - position) +
                  " stray bytes.");
    }
    return atom;
}

}  // namespace movie
