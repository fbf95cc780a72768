#include "hui/surface_model_components.hpp"

#include <algorithm>

namespace hui::surfacemodel {

namespace {

constexpr std::size_t sliceLength = 10;
constexpr std::size_t slicesPerLine = 4;

}  // namespace

std::string description(StereoLevelMeter::Side side) {
    return side == StereoLevelMeter::Side::left ? "left" : "right";
}

namespace {

// The flag a strip switch addresses (bool* or const bool* after the strip's constness); none
// for a value outside the enumeration.
template <class Strip>
auto lampOf(Strip& strip, ChannelStrip::Switch which) -> decltype(&strip.solo) {
    using S = ChannelStrip::Switch;
    switch (which) {
        case S::recordReady:
            return &strip.recordReady;
        case S::insert:
            return &strip.insert;
        case S::vPotSelect:
            return &strip.vPotSelect;
        case S::auto_:
            return &strip.auto_;
        case S::solo:
            return &strip.solo;
        case S::mute:
            return &strip.mute;
        case S::select:
            return &strip.select;
        case S::faderTouched:
            return &strip.fader.touched;
    }
    return nullptr;
}

}  // namespace

bool ChannelStrip::state(Switch which) const {
    const bool* lamp = lampOf(*this, which);
    return lamp != nullptr && *lamp;
}

void ChannelStrip::setState(Switch which, bool on) {
    if (bool* lamp = lampOf(*this, which)) *lamp = on;
}

LargeDisplay::Slices LargeDisplay::slices() const {
    Slices out;
    for (std::size_t line = 0; line < 2; ++line) {
        const auto& chars = (line == 0 ? top : bottom).chars();
        for (std::size_t slice = 0; slice < slicesPerLine; ++slice) {
            const auto start = chars.begin() + static_cast<std::ptrdiff_t>(slice * sliceLength);
            out.emplace(midicore::UInt4(line * slicesPerLine + slice),
                        std::vector<HUILargeDisplayCharacter>(start, start + sliceLength));
        }
    }
    return out;
}

bool LargeDisplay::update(const Slices& slices) {
    bool changed = false;
    for (const auto& [number, chars] : slices) {
        const std::size_t n = number.value();
        if (n >= 2 * slicesPerLine || chars.size() != sliceLength) continue;
        HUILargeDisplayString& line = n < slicesPerLine ? top : bottom;
        auto text = line.chars();
        const auto start =
            text.begin() + static_cast<std::ptrdiff_t>((n % slicesPerLine) * sliceLength);
        if (std::equal(chars.begin(), chars.end(), start)) continue;
        std::copy(chars.begin(), chars.end(), start);
        line.setChars(text);
        changed = true;
    }
    return changed;
}

}  // namespace hui::surfacemodel
