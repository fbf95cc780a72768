#include "midi_file/time_base.hpp"

#include "hashing.hpp"

namespace midifile {

namespace {

const char* rateText(uint8_t index) {
    static constexpr const char* texts[] = {"24fps", "25fps", "29.97dfps", "30fps"};
    return texts[index & 3];
}

uint8_t rateIndex(MIDIFileFrameRate rate) {
    switch (rate) {
        case MIDIFileFrameRate::_24fps:
            return 0;
        case MIDIFileFrameRate::_25fps:
            return 1;
        case MIDIFileFrameRate::_2997dfps:
            return 2;
        case MIDIFileFrameRate::_30fps:
            return 3;
    }
    return 0;
}

}  // namespace

std::string description(MIDIFileFormat format) {
    switch (format) {
        case MIDIFileFormat::singleTrack:
            return "Type 0 (single track)";
        case MIDIFileFormat::multipleTracksSynchronous:
            return "Type 1 (multiple tracks synchronous)";
        case MIDIFileFormat::multipleTracksAsynchronous:
            return "Type 2 (multiple tracks asynchronous)";
    }
    return "Type " + std::to_string(rawValue(format));
}

std::string debugDescription(MIDIFileFormat format) {
    return "Format(" + description(format) + ")";
}

std::string description(MIDIFileFrameRate rate) { return rateText(rateIndex(rate)); }

std::string debugDescription(MIDIFileFrameRate rate) {
    return "FrameRate(" + description(rate) + ")";
}

std::string description(MIDIFileSMPTEOffsetFrameRate rate) { return rateText(rawValue(rate)); }

std::string debugDescription(MIDIFileSMPTEOffsetFrameRate rate) {
    return "SMPTEOffsetFrameRate(" + description(rate) + ")";
}

std::optional<MIDIFileTimeBase> MIDIFileTimeBase::fromRawBytes(std::span<const uint8_t> bytes) {
    if (bytes.size() != 2) return std::nullopt;
    const uint8_t high = bytes[0];
    const uint8_t low = bytes[1];
    if (high < 0x80) return musical(static_cast<uint16_t>(high << 8 | low));
    const auto rate = fromRawValue<MIDIFileFrameRate>(static_cast<uint8_t>(high & 0x7F));
    if (!rate) return std::nullopt;
    return timecode(*rate, low);
}

std::array<uint8_t, 2> MIDIFileTimeBase::rawBytes() const {
    if (case_ == Case::musical) {
        return {static_cast<uint8_t>((ticksPerQuarterNote_ >> 8) & 0x7F),
                static_cast<uint8_t>(ticksPerQuarterNote_ & 0xFF)};
    }
    return {static_cast<uint8_t>(rawValue(timecode_.smpteFormat) | 0x80), timecode_.ticksPerFrame};
}

std::string MIDIFileTimeBase::description() const {
    if (case_ == Case::musical) {
        return "Musical: " + std::to_string(ticksPerQuarterNote_) + " ticks per quarter";
    }
    return "Timecode: " + midifile::description(timecode_.smpteFormat) + " " +
           std::to_string(timecode_.ticksPerFrame) + " ticks per frame";
}

std::string MIDIFileTimeBase::debugDescription() const {
    return "timeBase(" + description() + ")";
}

size_t MIDIFileTimeBase::hash() const {
    detail::Hasher hasher;
    hasher.combine(static_cast<int>(case_));
    if (case_ == Case::musical) return hasher.combine(ticksPerQuarterNote_).value();
    return hasher.combine(rawValue(timecode_.smpteFormat))
        .combine(timecode_.ticksPerFrame)
        .value();
}

uint32_t DeltaTime::ticksOf(uint32_t p) const {
    switch (case_) {
        case Case::none:
            return 0;
        case Case::ticks:
            return ticks_;
        case Case::wholeNote:
            return p * 4;
        case Case::halfNote:
            return p * 2;
        case Case::quarterNote:
            return p;
        case Case::_8thNote:
            return p >> 1;
        case Case::_16thNote:
            return p >> 2;
        case Case::_32ndNote:
            return p >> 3;
        case Case::_64thNote:
            return p >> 4;
        case Case::_128thNote:
            return p >> 5;
        case Case::_256thNote:
            return p >> 6;
    }
    return 0;
}

std::optional<uint32_t> DeltaTime::ticksValue(const MIDIFileTimeBase& timeBase) const {
    const auto ticksPerQuarterNote = timeBase.ticksPerQuarterNote();
    if (!ticksPerQuarterNote) return std::nullopt;
    return ticksOf(*ticksPerQuarterNote);
}

std::string DeltaTime::description() const {
    switch (case_) {
        case Case::none:
            return "none";
        case Case::ticks:
            return "ticks:" + std::to_string(ticks_);
        case Case::wholeNote:
            return "wholeNote";
        case Case::halfNote:
            return "halfNote";
        case Case::quarterNote:
            return "quarterNote";
        case Case::_8thNote:
            return "8thNote";
        case Case::_16thNote:
            return "16thNote";
        case Case::_32ndNote:
            return "32ndNote";
        case Case::_64thNote:
            return "64thNote";
        case Case::_128thNote:
            return "128thNote";
        case Case::_256thNote:
            return "256thNote";
    }
    return "none";
}

std::string DeltaTime::debugDescription() const { return "DeltaTime(" + description() + ")"; }

}  // namespace midifile
