// Text nodes shared by every parsed tree: most character data of a document is indentation and
// short values that repeat throughout it, and one immutable node for each saves a node per run.
#include <array>
#include <atomic>
#include <cstring>

#include "indexing/builder.hpp"

namespace xmlindexing::detail {

namespace {

// Indentation up to this many blanks or tabs after a line break has a shared text node.
constexpr size_t sharedIndentation = 64;

// A node that lives as long as the process, with the pointer that every tree copies: it owns
// nothing, so copying it and tearing trees down touch no reference count.
struct SharedNode {
    explicit SharedNode(std::string text)
        : node(std::move(text)), pointer(std::shared_ptr<XMLContent>(), &node) {}
    TextElement node;
    std::shared_ptr<XMLContent> pointer;
};

using WhiteSpaceNodes = std::array<SharedNode*, 2 * sharedIndentation>;

const WhiteSpaceNodes& whiteSpaceNodes() {
    // Made once and never freed: trees held by static objects may outlive any other static.
    static const WhiteSpaceNodes* nodes = [] {
        auto* made = new WhiteSpaceNodes;
        for (size_t tabs = 0; tabs < 2; ++tabs) {
            for (size_t indent = 0; indent < sharedIndentation; ++indent) {
                std::string text(indent + 1, tabs ? '\t' : ' ');
                text[0] = '\n';
                (*made)[tabs * sharedIndentation + indent] = new SharedNode(std::move(text));
            }
        }
        return made;
    }();
    return *nodes;
}

// The white space runs of up to StringKey::exactLength bytes, by length: their keys, for a test
// that reads no byte of the text again.
struct ShortWhiteSpace {
    ShortWhiteSpace() {
        for (size_t length = 1; length <= StringKey::exactLength; ++length) {
            for (size_t tabs = 0; tabs < 2; ++tabs) {
                const SharedNode* node = whiteSpaceNodes()[tabs * sharedIndentation + length - 1];
                keys[tabs][length] = StringKey(node->node.text());
                nodes[tabs][length] = node;
            }
        }
    }
    StringKey keys[2][StringKey::exactLength + 1] = {};
    const SharedNode* nodes[2][StringKey::exactLength + 1] = {};
};

const std::shared_ptr<XMLContent>* sharedWhiteSpace(std::string_view text, const StringKey& key) {
    if (key.exact()) {
        static const ShortWhiteSpace* known = new ShortWhiteSpace;
        for (size_t tabs = 0; tabs < 2; ++tabs)
            if (known->keys[tabs][key.length] == key) return &known->nodes[tabs][key.length]->pointer;
        return nullptr;
    }
    const size_t indent = text.size() - 1;
    if (indent >= sharedIndentation) return nullptr;
    const SharedNode* node = whiteSpaceNodes()[(text[1] == '\t' ? sharedIndentation : 0) + indent];
    return node->node.text() == text ? &node->pointer : nullptr;
}

// Short texts met while parsing, each kept once for the life of the process. The table never
// shrinks and takes no more than `capacity` texts, so what it holds stays small whatever is parsed;
// threads share it without a lock.
class ShortTexts {
  public:
    static ShortTexts& shared() {
        static ShortTexts* texts = new ShortTexts;
        return *texts;
    }

    // Texts up to this size are kept (they fit in a string without storage of their own).
    static constexpr size_t longest = StringKey::exactLength;

    const std::shared_ptr<XMLContent>* find(std::string_view text, const StringKey& key) {
        size_t slot = key.hash(seed_) & (slots - 1);
        for (size_t probe = 0; probe < maxProbes; ++probe, slot = (slot + 1) & (slots - 1)) {
            Entry* entry = table_[slot].load(std::memory_order_acquire);
            if (entry == nullptr) {
                if (count_.load(std::memory_order_relaxed) >= capacity) return nullptr;
                auto* made = new Entry(std::string(text), key);
                if (table_[slot].compare_exchange_strong(entry, made, std::memory_order_acq_rel,
                                                         std::memory_order_acquire)) {
                    count_.fetch_add(1, std::memory_order_relaxed);
                    return &made->shared.pointer;
                }
                delete made;  // another thread filled the slot first: `entry` is its text
            }
            if (entry->key == key) return &entry->shared.pointer;
        }
        return nullptr;
    }

  private:
    static constexpr size_t capacity = 4096;
    static constexpr size_t slots = 2 * capacity;
    static constexpr size_t maxProbes = 8;

    struct Entry {
        Entry(std::string text, const StringKey& key) : shared(std::move(text)), key(key) {}
        SharedNode shared;
        StringKey key;
    };

    ShortTexts() : seed_(reinterpret_cast<uintptr_t>(this)) {
        for (auto& slot : table_)
            slot.store(nullptr, std::memory_order_relaxed);
    }

    std::array<std::atomic<Entry*>, slots> table_;
    std::atomic<size_t> count_{0};
    const uint64_t seed_;
};

}  // namespace

const std::shared_ptr<XMLContent>* sharedText(std::string_view text, const StringKey& key) {
    if (text.empty()) return nullptr;
    if (text[0] == '\n') {
        if (const auto* shared = sharedWhiteSpace(text, key)) return shared;
    }
    if (text.size() > ShortTexts::longest) return nullptr;
    return ShortTexts::shared().find(text, key);
}

}  // namespace xmlindexing::detail
