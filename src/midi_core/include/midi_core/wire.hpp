// The results of the event encoders: MIDI 1.0 bytes and Universal MIDI Packets. The send and relay
// paths encode every outgoing event, so the common results (a channel-voice message of up to 12
// bytes, one packet of up to four words) live inline without a heap allocation; longer results
// (system exclusive) move to the heap.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace midicore {

// A sequence of trivially copyable values kept inline up to N elements and on the heap beyond.
template <typename T, std::size_t N>
class SmallVector {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    using value_type = T;
    using size_type = std::size_t;
    using iterator = T*;
    using const_iterator = const T*;

    SmallVector() = default;
    SmallVector(std::initializer_list<T> values) { append(std::span<const T>(values.begin(), values.size())); }
    explicit SmallVector(std::span<const T> values) { append(values); }

    size_type size() const { return size_; }
    bool empty() const { return size_ == 0; }
    static constexpr size_type inlineCapacity() { return N; }
    // True when the elements moved to the heap because there were more than N.
    bool spilled() const { return !heap_.empty(); }

    T* data() { return heap_.empty() ? inline_.data() : heap_.data(); }
    const T* data() const { return heap_.empty() ? inline_.data() : heap_.data(); }
    iterator begin() { return data(); }
    iterator end() { return data() + size_; }
    const_iterator begin() const { return data(); }
    const_iterator end() const { return data() + size_; }

    T& operator[](size_type i) { return data()[i]; }
    const T& operator[](size_type i) const { return data()[i]; }
    const T& at(size_type i) const {
        if (i >= size_) throw std::out_of_range("SmallVector index out of range");
        return data()[i];
    }
    const T& front() const { return at(0); }
    const T& back() const { return at(size_ - 1); }

    void push_back(const T& value) {
        if (heap_.empty() && size_ < N) {
            inline_[size_++] = value;
            return;
        }
        spill(size_ + 1);
        heap_.push_back(value);
        ++size_;
    }

    void append(std::span<const T> values) {
        if (heap_.empty() && size_ + values.size() <= N) {
            std::copy(values.begin(), values.end(), inline_.begin() + size_);
            size_ += values.size();
            return;
        }
        spill(size_ + values.size());
        heap_.insert(heap_.end(), values.begin(), values.end());
        size_ += values.size();
    }
    template <std::size_t M>
    void append(const SmallVector<T, M>& other) {
        append(std::span<const T>(other.data(), other.size()));
    }

    void clear() {
        heap_.clear();
        size_ = 0;
    }

    std::span<const T> span() const { return {data(), size_}; }
    std::vector<T> toVector() const { return {begin(), end()}; }

    friend bool operator==(const SmallVector& a, const SmallVector& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    friend bool operator==(const SmallVector& a, const std::vector<T>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    // Moves the inline elements to the heap, reserving room for `capacity` elements.
    void spill(size_type capacity) {
        if (heap_.empty()) {
            heap_.reserve(std::max(capacity, 2 * N));
            heap_.assign(inline_.begin(), inline_.begin() + size_);
        }
    }

    std::array<T, N> inline_{};
    std::vector<T> heap_;
    size_type size_ = 0;
};

// The MIDI 1.0 bytes of an event: zero or more complete messages, each with its own status byte.
// Twelve bytes hold every message but system exclusive (a parameter-number run is four three-byte
// Control Change messages).
using MIDI1Bytes = SmallVector<uint8_t, 12>;

// One Universal MIDI Packet: one, two or four 32-bit words (three for none of the message types
// the encoders make, but the reader accepts them).
struct UMPPacket {
    std::array<uint32_t, 4> words{};
    uint8_t count = 0;

    constexpr UMPPacket() = default;
    constexpr UMPPacket(std::initializer_list<uint32_t> values) {
        if (values.size() > 4) throw std::length_error("A Universal MIDI Packet has at most four words");
        for (uint32_t w : values) words[count++] = w;
    }

    constexpr std::size_t size() const { return count; }
    constexpr bool empty() const { return count == 0; }
    constexpr const uint32_t* begin() const { return words.data(); }
    constexpr const uint32_t* end() const { return words.data() + count; }
    constexpr uint32_t operator[](std::size_t i) const { return words[i]; }
    std::span<const uint32_t> span() const { return {words.data(), count}; }
    std::vector<uint32_t> toVector() const { return {begin(), end()}; }

    friend constexpr bool operator==(const UMPPacket& a, const UMPPacket& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    friend bool operator==(const UMPPacket& a, const std::vector<uint32_t>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
};

// The packets of an event in order. Four inline packets hold everything but long system
// exclusive messages (a parameter-number run under the MIDI 1.0 protocol is four one-word packets).
using UMPPackets = SmallVector<UMPPacket, 4>;

}  // namespace midicore
