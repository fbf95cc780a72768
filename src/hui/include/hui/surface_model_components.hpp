// The parts a surface's state is made of: one value per switch category holding the lamp state
// of each of its switches, the channel strip with its fader and stereo level meter, the large
// display and the time display.
//
// The surface model brings these in as its nested types (HUISurfaceModel::ChannelStrip is
// surfacemodel::ChannelStrip). Every part is a plain value with public fields, equal when every
// field is equal and hashed over its fields in declaration order. A switch part answers the
// switch enumeration of its category through state(of) and setState(of, to): each case reads
// and writes the field of the same name, except where a part says otherwise.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "hui/detail/hash_feed.hpp"
#include "hui/display_strings.hpp"
#include "hui/switches.hpp"
#include "hui/vpot.hpp"
#include "midi_core/unsigned_integer.hpp"

namespace hui {

// A value that keeps lamp states by switch: the surface model and its switch parts.
template <class T>
concept HUISurfaceModelState = HUISwitchProtocol<typename T::Switch> &&
    requires(T& model, const T& constModel, typename T::Switch s, bool on) {
    { constModel.state(s) } -> std::same_as<bool>;
    model.setState(s, on);
};

namespace surfacemodel {

namespace detail {

inline std::size_t fieldHash(bool value) {
    return value ? 1 : 0;
}
inline std::size_t fieldHash(std::int64_t value) {
    return std::hash<std::int64_t>{}(value);
}
template <class T>
requires requires(const T& value) {
    value.hash();
}
std::size_t fieldHash(const T& value) {
    return value.hash();
}

// The hash of a part: its fields, as `Part::fields()` ties them, in declaration order.
template <class Part>
std::size_t hashOfFields(const Part& part) {
    hui::detail::HashFeed feed;
    std::apply([&](const auto&... field) { (feed.add(fieldHash(field)), ...); }, part.fields());
    return feed.value();
}

// The lamp operations of a switch part whose fields are all named after the cases of `S`:
// `Part::lamps()` lists, for each case of `S` in declaration order, the field it addresses, or
// nullptr for a case the part does not store (reading it gives false, writing it does nothing).
template <class Part, class S>
struct Lamps {
    using Switch = S;

    bool state(S which) const {
        const auto field = fieldOf(which);
        return field != nullptr && static_cast<const Part&>(*this).*field;
    }
    void setState(S which, bool on) {
        if (const auto field = fieldOf(which)) static_cast<Part&>(*this).*field = on;
    }
    std::size_t hash() const { return hashOfFields(static_cast<const Part&>(*this)); }

    friend bool operator==(const Lamps&, const Lamps&) = default;

  private:
    static constexpr bool Part::*fieldOf(S which) {
        constexpr auto fields = Part::lamps();
        const auto index = static_cast<std::size_t>(which);
        return index < fields.size() ? fields[index] : nullptr;
    }
};

}  // namespace detail

// A strip's stereo level meter: each side holds 0 to 12. Every store clamps to that range.
class StereoLevelMeter {
  public:
    enum class Side : std::uint8_t { left, right };

    static constexpr std::int64_t levelMin = 0;
    static constexpr std::int64_t levelMax = 12;
    // levelMin through levelMax, both included.
    static constexpr std::pair<std::int64_t, std::int64_t> levelRange = {levelMin, levelMax};

    std::int64_t left() const { return left_; }
    std::int64_t right() const { return right_; }
    std::int64_t level(Side side) const { return side == Side::left ? left_ : right_; }
    void setLeft(std::int64_t level) { left_ = clamped(level); }
    void setRight(std::int64_t level) { right_ = clamped(level); }
    void setLevel(Side side, std::int64_t level) {
        (side == Side::left ? left_ : right_) = clamped(level);
    }

    friend bool operator==(const StereoLevelMeter&, const StereoLevelMeter&) = default;
    std::size_t hash() const { return detail::hashOfFields(*this); }
    std::tuple<const std::int64_t&, const std::int64_t&> fields() const {
        return std::tie(left_, right_);
    }

  private:
    static std::int64_t clamped(std::int64_t level) {
        return level < levelMin ? levelMin : level > levelMax ? levelMax : level;
    }

    std::int64_t left_ = 0;
    std::int64_t right_ = 0;
};

// "left" or "right".
std::string description(StereoLevelMeter::Side side);

// One channel strip: its level meter, switches, V-Pot ring, name display and fader.
struct ChannelStrip {
    using Switch = HUISwitch::ChannelStrip;

    // The strip's motorised fader: a 14-bit level and whether a finger is on it.
    struct Fader {
        static constexpr midicore::UInt14 levelMin = midicore::UInt14::min();
        static constexpr midicore::UInt14 levelMax = midicore::UInt14::max();
        // levelMin through levelMax, both included.
        static constexpr std::pair<midicore::UInt14, midicore::UInt14> levelRange = {levelMin,
                                                                                     levelMax};

        midicore::UInt14 level;
        bool touched = false;

        // 0.0 at the bottom, 1.0 at the top.
        double levelUnitInterval() const { return level.value() / 16383.0; }

        friend bool operator==(const Fader&, const Fader&) = default;
        std::size_t hash() const { return detail::hashOfFields(*this); }
        auto fields() const { return std::tie(level, touched); }
    };

    StereoLevelMeter levelMeter;
    bool recordReady = false;
    bool insert = false;
    bool vPotSelect = false;
    HUIVPotDisplay vPotDisplay = HUIVPotDisplay::allOff();
    bool auto_ = false;
    bool solo = false;
    bool mute = false;
    HUISmallDisplayString nameDisplay;
    bool select = false;
    Fader fader;

    // `faderTouched` is the fader's `touched`.
    bool state(Switch which) const;
    void setState(Switch which, bool on);

    friend bool operator==(const ChannelStrip&, const ChannelStrip&) = default;
    std::size_t hash() const { return detail::hashOfFields(*this); }
    auto fields() const {
        return std::tie(levelMeter, recordReady, insert, vPotSelect, vPotDisplay, auto_, solo, mute,
                        nameDisplay, select, fader);
    }
};

// The time display's text and its four status lights.
struct TimeDisplay : detail::Lamps<TimeDisplay, HUISwitch::TimeDisplayStatus> {
    HUITimeDisplayString timeString;
    bool timecode = false;
    bool feet = false;
    bool beats = false;
    bool rudeSolo = false;

    static constexpr auto lamps() {
        return std::array{&TimeDisplay::timecode, &TimeDisplay::feet, &TimeDisplay::beats,
                          &TimeDisplay::rudeSolo};
    }
    auto fields() const { return std::tie(timeString, timecode, feet, beats, rudeSolo); }
    friend bool operator==(const TimeDisplay&, const TimeDisplay&) = default;
};

// The two lines of the large display. Each line is four slices of ten characters: slices 0-3
// are the top line left to right, 4-7 the bottom line.
struct LargeDisplay {
    using Slices = std::map<midicore::UInt4, std::vector<HUILargeDisplayCharacter>>;

    HUILargeDisplayString top;
    HUILargeDisplayString bottom;

    // All eight slices.
    Slices slices() const;
    // Writes each slice of ten characters into its place; slices of another length and slice
    // numbers 8-15 are ignored. True when a character changed.
    bool update(const Slices& slices);

    friend bool operator==(const LargeDisplay&, const LargeDisplay&) = default;
    std::size_t hash() const { return detail::hashOfFields(*this); }
    auto fields() const { return std::tie(top, bottom); }
};

struct Transport : detail::Lamps<Transport, HUISwitch::Transport> {
    bool rewind = false;
    bool stop = false;
    bool play = false;
    bool fastFwd = false;
    bool record = false;
    bool talkback = false;
    bool punch_audition = false;
    bool punch_pre = false;
    bool punch_in = false;
    bool punch_out = false;
    bool punch_post = false;
    bool rtz = false;
    bool end = false;
    bool online = false;
    bool loop = false;
    bool quickPunch = false;

    // The punch cases address the fields written with an underscore.
    static constexpr auto lamps() {
        using T = Transport;
        return std::array{&T::talkback, &T::rewind,    &T::fastFwd,        &T::stop,
                          &T::play,     &T::record,    &T::punch_audition, &T::punch_pre,
                          &T::punch_in, &T::punch_out, &T::punch_post,     &T::rtz,
                          &T::end,      &T::online,    &T::loop,           &T::quickPunch};
    }
    auto fields() const {
        return std::tie(rewind, stop, play, fastFwd, record, talkback, punch_audition, punch_pre,
                        punch_in, punch_out, punch_post, rtz, end, online, loop, quickPunch);
    }
    friend bool operator==(const Transport&, const Transport&) = default;
};

struct HotKeys : detail::Lamps<HotKeys, HUISwitch::HotKey> {
    bool shift = false;
    bool ctrl = false;
    bool option = false;
    bool cmd = false;
    bool undo = false;
    bool save = false;
    bool editMode = false;
    bool editTool = false;

    static constexpr auto lamps() {
        using T = HotKeys;
        return std::array{&T::ctrl, &T::shift,  &T::editMode, &T::undo,
                          &T::cmd,  &T::option, &T::editTool, &T::save};
    }
    auto fields() const {
        return std::tie(shift, ctrl, option, cmd, undo, save, editMode, editTool);
    }
    friend bool operator==(const HotKeys&, const HotKeys&) = default;
};

struct WindowFunctions : detail::Lamps<WindowFunctions, HUISwitch::Window> {
    bool mix = false;
    bool edit = false;
    bool transport = false;
    bool memLoc = false;
    bool status = false;
    bool alt = false;

    static constexpr auto lamps() {
        using T = WindowFunctions;
        return std::array{&T::mix, &T::edit, &T::transport, &T::memLoc, &T::status, &T::alt};
    }
    auto fields() const { return std::tie(mix, edit, transport, memLoc, status, alt); }
    friend bool operator==(const WindowFunctions&, const WindowFunctions&) = default;
};

struct BankMove : detail::Lamps<BankMove, HUISwitch::BankMove> {
    bool channelLeft = false;
    bool channelRight = false;
    bool bankLeft = false;
    bool bankRight = false;

    static constexpr auto lamps() {
        using T = BankMove;
        return std::array{&T::channelLeft, &T::channelRight, &T::bankLeft, &T::bankRight};
    }
    auto fields() const { return std::tie(channelLeft, channelRight, bankLeft, bankRight); }
    friend bool operator==(const BankMove&, const BankMove&) = default;
};

// The assign section's switches and the select-assign display.
struct Assign : detail::Lamps<Assign, HUISwitch::Assign> {
    HUISmallDisplayString textDisplay;
    bool recordReadyAll = false;
    bool bypass = false;
    bool sendA = false;
    bool sendB = false;
    bool sendC = false;
    bool sendD = false;
    bool sendE = false;
    bool pan = false;
    bool mute = false;
    bool shift = false;
    bool input = false;
    bool output = false;
    bool assign = false;
    bool suspend = false;
    bool default_ = false;

    static constexpr auto lamps() {
        using T = Assign;
        return std::array{&T::sendA,   &T::sendB,          &T::sendC,  &T::sendD, &T::sendE,
                          &T::pan,     &T::recordReadyAll, &T::bypass, &T::mute,  &T::shift,
                          &T::suspend, &T::default_,       &T::assign, &T::input, &T::output};
    }
    auto fields() const {
        return std::tie(textDisplay, recordReadyAll, bypass, sendA, sendB, sendC, sendD, sendE, pan,
                        mute, shift, input, output, assign, suspend, default_);
    }
    friend bool operator==(const Assign&, const Assign&) = default;
};

// The cursor section: the arrow keys have no lamps and are not stored.
struct Cursor : detail::Lamps<Cursor, HUISwitch::Cursor> {
    bool mode = false;
    bool scrub = false;
    bool shuttle = false;

    static constexpr auto lamps() {
        using T = Cursor;
        constexpr bool T::*none = nullptr;
        return std::array{none, none, none, none, &T::mode, &T::scrub, &T::shuttle};
    }
    auto fields() const { return std::tie(mode, scrub, shuttle); }
    friend bool operator==(const Cursor&, const Cursor&) = default;
};

struct ControlRoom : detail::Lamps<ControlRoom, HUISwitch::ControlRoom> {
    bool input1 = false;
    bool input2 = false;
    bool input3 = false;
    bool discreteInput1to1 = false;
    bool mute = false;
    bool output1 = false;
    bool output2 = false;
    bool output3 = false;
    bool dim = false;
    bool mono = false;

    static constexpr auto lamps() {
        using T = ControlRoom;
        return std::array{&T::input1, &T::input2, &T::input3,  &T::discreteInput1to1, &T::mute,
                          &T::dim,    &T::mono,   &T::output1, &T::output2,           &T::output3};
    }
    auto fields() const {
        return std::tie(input1, input2, input3, discreteInput1to1, mute, output1, output2, output3,
                        dim, mono);
    }
    friend bool operator==(const ControlRoom&, const ControlRoom&) = default;
};

struct NumPad : detail::Lamps<NumPad, HUISwitch::NumPad> {
    bool num0 = false;
    bool num1 = false;
    bool num2 = false;
    bool num3 = false;
    bool num4 = false;
    bool num5 = false;
    bool num6 = false;
    bool num7 = false;
    bool num8 = false;
    bool num9 = false;
    bool period = false;
    bool plus = false;
    bool minus = false;
    bool enter = false;
    bool clr = false;
    bool equals = false;
    bool forwardSlash = false;
    bool asterisk = false;

    static constexpr auto lamps() {
        using T = NumPad;
        return std::array{&T::num0,   &T::num1,         &T::num2,    &T::num3,  &T::num4,
                          &T::num5,   &T::num6,         &T::num7,    &T::num8,  &T::num9,
                          &T::period, &T::plus,         &T::minus,   &T::enter, &T::clr,
                          &T::equals, &T::forwardSlash, &T::asterisk};
    }
    auto fields() const {
        return std::tie(num0, num1, num2, num3, num4, num5, num6, num7, num8, num9, period, plus,
                        minus, enter, clr, equals, forwardSlash, asterisk);
    }
    friend bool operator==(const NumPad&, const NumPad&) = default;
};

struct AutoEnable : detail::Lamps<AutoEnable, HUISwitch::AutoEnable> {
    bool fader = false;
    bool pan = false;
    bool plugin = false;
    bool mute = false;
    bool send = false;
    bool sendMute = false;

    static constexpr auto lamps() {
        using T = AutoEnable;
        return std::array{&T::fader, &T::pan, &T::plugin, &T::mute, &T::send, &T::sendMute};
    }
    auto fields() const { return std::tie(fader, pan, plugin, mute, send, sendMute); }
    friend bool operator==(const AutoEnable&, const AutoEnable&) = default;
};

struct AutoMode : detail::Lamps<AutoMode, HUISwitch::AutoMode> {
    bool read = false;
    bool latch = false;
    bool trim = false;
    bool touch = false;
    bool write = false;
    bool off = false;

    static constexpr auto lamps() {
        using T = AutoMode;
        return std::array{&T::read, &T::latch, &T::trim, &T::touch, &T::write, &T::off};
    }
    auto fields() const { return std::tie(read, latch, trim, touch, write, off); }
    friend bool operator==(const AutoMode&, const AutoMode&) = default;
};

struct StatusAndGroup : detail::Lamps<StatusAndGroup, HUISwitch::StatusAndGroup> {
    bool auto_ = false;
    bool monitor = false;
    bool phase = false;
    bool group = false;
    bool create = false;
    bool suspend = false;

    static constexpr auto lamps() {
        using T = StatusAndGroup;
        return std::array{&T::auto_, &T::monitor, &T::phase, &T::group, &T::create, &T::suspend};
    }
    auto fields() const { return std::tie(auto_, monitor, phase, group, create, suspend); }
    friend bool operator==(const StatusAndGroup&, const StatusAndGroup&) = default;
};

struct Edit : detail::Lamps<Edit, HUISwitch::Edit> {
    bool capture = false;
    bool cut = false;
    bool paste = false;
    bool separate = false;
    bool copy = false;
    bool delete_ = false;

    static constexpr auto lamps() {
        using T = Edit;
        return std::array{&T::capture, &T::cut, &T::paste, &T::separate, &T::copy, &T::delete_};
    }
    auto fields() const { return std::tie(capture, cut, paste, separate, copy, delete_); }
    friend bool operator==(const Edit&, const Edit&) = default;
};

struct FunctionKey : detail::Lamps<FunctionKey, HUISwitch::FunctionKey> {
    bool f1 = false;
    bool f2 = false;
    bool f3 = false;
    bool f4 = false;
    bool f5 = false;
    bool f6 = false;
    bool f7 = false;
    bool f8OrEsc = false;

    static constexpr auto lamps() {
        using T = FunctionKey;
        return std::array{&T::f1, &T::f2, &T::f3, &T::f4, &T::f5, &T::f6, &T::f7, &T::f8OrEsc};
    }
    auto fields() const { return std::tie(f1, f2, f3, f4, f5, f6, f7, f8OrEsc); }
    friend bool operator==(const FunctionKey&, const FunctionKey&) = default;
};

// The parameter edit section: its switches and the rings of the four parameter V-Pots.
struct ParameterEdit : detail::Lamps<ParameterEdit, HUISwitch::ParameterEdit> {
    bool assign = false;
    bool compare = false;
    bool bypass = false;
    bool param1Select = false;
    HUIVPotDisplay param1VPotDisplay = HUIVPotDisplay::allOff();
    bool param2Select = false;
    HUIVPotDisplay param2VPotDisplay = HUIVPotDisplay::allOff();
    bool param3Select = false;
    HUIVPotDisplay param3VPotDisplay = HUIVPotDisplay::allOff();
    bool param4Select = false;
    HUIVPotDisplay param4VPotDisplay = HUIVPotDisplay::allOff();
    bool insertOrParam = false;

    static constexpr auto lamps() {
        using T = ParameterEdit;
        return std::array{&T::assign,       &T::compare,      &T::bypass,       &T::param1Select,
                          &T::param2Select, &T::param3Select, &T::param4Select, &T::insertOrParam};
    }
    auto fields() const {
        return std::tie(assign, compare, bypass, param1Select, param1VPotDisplay, param2Select,
                        param2VPotDisplay, param3Select, param3VPotDisplay, param4Select,
                        param4VPotDisplay, insertOrParam);
    }
    friend bool operator==(const ParameterEdit&, const ParameterEdit&) = default;
};

struct FootswitchesAndSounds
    : detail::Lamps<FootswitchesAndSounds, HUISwitch::FootswitchesAndSounds> {
    bool footswitchRelay1 = false;
    bool footswitchRelay2 = false;
    bool click = false;
    bool beep = false;

    static constexpr auto lamps() {
        using T = FootswitchesAndSounds;
        return std::array{&T::footswitchRelay1, &T::footswitchRelay2, &T::click, &T::beep};
    }
    auto fields() const { return std::tie(footswitchRelay1, footswitchRelay2, click, beep); }
    friend bool operator==(const FootswitchesAndSounds&, const FootswitchesAndSounds&) = default;
};

}  // namespace surfacemodel

}  // namespace hui
