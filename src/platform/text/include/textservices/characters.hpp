// User-perceived characters and canonical equivalence of UTF-8 text, over ICU's grapheme cluster
// segmentation and normalization.
//
// Ill-formed UTF-8 is read the way decodeUtf8 reads it with Decoding::replacing: each maximal
// ill-formed subpart stands for one U+FFFD. Nothing here throws on bad text.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace textservices {

// The extended grapheme clusters of `text` in order, at most `limit` of them, each as well-formed
// UTF-8: a letter with its combining marks, an emoji sequence joined by zero-width joiners, or a
// CR LF pair counts as one.
std::vector<std::string> graphemeClusters(
    std::string_view text, std::size_t limit = std::numeric_limits<std::size_t>::max());

// The number of bytes of `text` that its first `count` user-perceived characters take (all of it
// when it has fewer). Ill-formed bytes stay in place and count as the characters they stand for.
std::size_t characterPrefixLength(std::string_view text, std::size_t count);

// The canonical composition (NFC) of `text`. Two texts are canonically equivalent (a precomposed
// letter and the same letter written as base letter plus combining mark) exactly when their
// compositions are equal.
std::string canonicalComposition(std::string_view text);

}  // namespace textservices
