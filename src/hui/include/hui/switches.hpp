// The catalogue of the buttons and lamps of an HUI surface. On the wire a switch is addressed by
// a zone (a group of up to eight switches) and a port (0-7 within it); here every switch has a
// name: a category and a case within it, or for the channel strips a strip number and a case.
//
// Every category enumeration and HUISwitch itself satisfy HUISwitchProtocol: zoneAndPort(x) gives
// the pair. HUISwitch::fromZoneAndPort turns a received pair back into a switch, `undefined`
// where the catalogue has none.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "midi_core/unsigned_integer.hpp"

namespace hui {

// The wire address of a switch.
struct HUIZoneAndPort {
    std::uint8_t zone = 0;
    midicore::UInt4 port;

    friend constexpr bool operator==(const HUIZoneAndPort&, const HUIZoneAndPort&) = default;
    friend std::ostream& operator<<(std::ostream& out, const HUIZoneAndPort& zp) {
        return out << "(zone: " << int{zp.zone} << ", port: " << zp.port << ")";
    }
};

class HUISwitch {
  public:
    // The categories, in the order of their HUISwitch cases. Cases are numbered in declaration
    // order.
    // clang-format off
    enum class ChannelStrip : std::uint8_t {
        recordReady, insert, vPotSelect, auto_, solo, mute, select, faderTouched };
    enum class HotKey : std::uint8_t { ctrl, shift, editMode, undo, cmd, option, editTool, save };
    enum class Window : std::uint8_t { mix, edit, transport, memLoc, status, alt };
    enum class BankMove : std::uint8_t { channelLeft, channelRight, bankLeft, bankRight };
    enum class Assign : std::uint8_t {
        sendA, sendB, sendC, sendD, sendE, pan, recordReadyAll, bypass, mute, shift, suspend,
        default_, assign, input, output };
    enum class Cursor : std::uint8_t { up, left, right, down, mode, scrub, shuttle };
    enum class Transport : std::uint8_t {
        talkback, rewind, fastFwd, stop, play, record, punchAudition, punchPre, punchIn, punchOut,
        punchPost, rtz, end, online, loop, quickPunch };
    enum class ControlRoom : std::uint8_t {
        input1, input2, input3, discreteInput1to1, mute, dim, mono, output1, output2, output3 };
    enum class NumPad : std::uint8_t {
        num0, num1, num2, num3, num4, num5, num6, num7, num8, num9, period, plus, minus, enter,
        clr, equals, forwardSlash, asterisk };
    enum class TimeDisplayStatus : std::uint8_t { timecode, feet, beats, rudeSolo };
    enum class AutoEnable : std::uint8_t { fader, pan, plugin, mute, send, sendMute };
    enum class AutoMode : std::uint8_t { read, latch, trim, touch, write, off };
    enum class StatusAndGroup : std::uint8_t { auto_, monitor, phase, group, create, suspend };
    enum class Edit : std::uint8_t { capture, cut, paste, separate, copy, delete_ };
    enum class FunctionKey : std::uint8_t { f1, f2, f3, f4, f5, f6, f7, f8OrEsc };
    enum class ParameterEdit : std::uint8_t {
        assign, compare, bypass, param1Select, param2Select, param3Select, param4Select,
        insertOrParam };
    enum class FootswitchesAndSounds : std::uint8_t {
        footswitchRelay1, footswitchRelay2, click, beep };

    enum class Case : std::uint8_t {
        channelStrip, hotKey, window, bankMove, assign, cursor, transport, controlRoom, numPad,
        timeDisplayStatus, autoEnable, autoMode, statusAndGroup, edit, functionKey, paramEdit,
        footswitchesAndSounds, undefined };
    // clang-format on

    // A strip's switch; the catalogue has strips 0-7, the type admits 0-15.
    static constexpr HUISwitch channelStrip(midicore::UInt4 channel, ChannelStrip which) {
        return HUISwitch(Case::channelStrip, channel.value(), static_cast<std::uint8_t>(which));
    }
    static constexpr HUISwitch hotKey(HotKey which) { return of(which); }
    static constexpr HUISwitch window(Window which) { return of(which); }
    static constexpr HUISwitch bankMove(BankMove which) { return of(which); }
    static constexpr HUISwitch assign(Assign which) { return of(which); }
    static constexpr HUISwitch cursor(Cursor which) { return of(which); }
    static constexpr HUISwitch transport(Transport which) { return of(which); }
    static constexpr HUISwitch controlRoom(ControlRoom which) { return of(which); }
    static constexpr HUISwitch numPad(NumPad which) { return of(which); }
    static constexpr HUISwitch timeDisplayStatus(TimeDisplayStatus which) { return of(which); }
    static constexpr HUISwitch autoEnable(AutoEnable which) { return of(which); }
    static constexpr HUISwitch autoMode(AutoMode which) { return of(which); }
    static constexpr HUISwitch statusAndGroup(StatusAndGroup which) { return of(which); }
    static constexpr HUISwitch edit(Edit which) { return of(which); }
    static constexpr HUISwitch functionKey(FunctionKey which) { return of(which); }
    static constexpr HUISwitch paramEdit(ParameterEdit which) { return of(which); }
    static constexpr HUISwitch footswitchesAndSounds(FootswitchesAndSounds which) {
        return of(which);
    }
    // A pair that names no switch of the catalogue. It is never equal to a catalogue switch,
    // even one with the same pair.
    static constexpr HUISwitch undefined(std::uint8_t zone, midicore::UInt4 port) {
        return HUISwitch(Case::undefined, zone, port.value());
    }
    // The category case `which` as a switch.
    template <class Category>
    static constexpr HUISwitch of(Category which);

    // The catalogue switch at (zone, port), else `undefined` with that pair. Never fails.
    static HUISwitch fromZoneAndPort(std::uint8_t zone, midicore::UInt4 port);

    // The 196 catalogue switches ordered by zone, then port. A constant.
    static std::span<const HUISwitch, 196> allCases();

    constexpr Case switchCase() const { return case_; }
    // "channelStrip", "hotKey", ... "undefined".
    static std::string_view caseName(Case c);
    // The strip of a channel-strip switch; none for the others.
    constexpr std::optional<midicore::UInt4> channel() const {
        if (case_ != Case::channelStrip) return std::nullopt;
        return midicore::UInt4::truncating(first_);
    }
    // The case of the category `Category` (HUISwitch::ChannelStrip for the strips); none when
    // the switch is of another case.
    template <class Category>
    constexpr std::optional<Category> category() const;

    // The number of the category case in its declaration order (the strip case for a
    // channel-strip switch); 0 for `undefined`.
    constexpr std::uint8_t categoryCaseNumber() const {
        switch (case_) {
            case Case::channelStrip:
                return second_;
            case Case::undefined:
                return 0;
            default:
                return first_;
        }
    }

    HUIZoneAndPort zoneAndPort() const;

    friend constexpr bool operator==(const HUISwitch&, const HUISwitch&) = default;
    // The case index, then the payload.
    std::size_t hash() const;
    // "channelStrip(3, mute)", "transport(fastFwd)", "undefined(zone: 30, port: 2)".
    std::string description() const;
    friend std::ostream& operator<<(std::ostream& out, const HUISwitch& s) {
        return out << s.description();
    }

  private:
    constexpr HUISwitch(Case switchCase, std::uint8_t first, std::uint8_t second)
        : case_(switchCase), first_(first), second_(second) {}

    Case case_;
    std::uint8_t first_;   // the channel, the category case or the zone
    std::uint8_t second_;  // the strip case or the port; 0 for the categories
};

namespace detail {

// The HUISwitch case of each category enumeration.
template <class Category>
struct SwitchCategory;
#define HUI_DETAIL_SWITCH_CATEGORY(Type, caseName)                               \
    template <>                                                                  \
    struct SwitchCategory<HUISwitch::Type> {                                     \
        static constexpr HUISwitch::Case switchCase = HUISwitch::Case::caseName; \
    };
HUI_DETAIL_SWITCH_CATEGORY(ChannelStrip, channelStrip)
HUI_DETAIL_SWITCH_CATEGORY(HotKey, hotKey)
HUI_DETAIL_SWITCH_CATEGORY(Window, window)
HUI_DETAIL_SWITCH_CATEGORY(BankMove, bankMove)
HUI_DETAIL_SWITCH_CATEGORY(Assign, assign)
HUI_DETAIL_SWITCH_CATEGORY(Cursor, cursor)
HUI_DETAIL_SWITCH_CATEGORY(Transport, transport)
HUI_DETAIL_SWITCH_CATEGORY(ControlRoom, controlRoom)
HUI_DETAIL_SWITCH_CATEGORY(NumPad, numPad)
HUI_DETAIL_SWITCH_CATEGORY(TimeDisplayStatus, timeDisplayStatus)
HUI_DETAIL_SWITCH_CATEGORY(AutoEnable, autoEnable)
HUI_DETAIL_SWITCH_CATEGORY(AutoMode, autoMode)
HUI_DETAIL_SWITCH_CATEGORY(StatusAndGroup, statusAndGroup)
HUI_DETAIL_SWITCH_CATEGORY(Edit, edit)
HUI_DETAIL_SWITCH_CATEGORY(FunctionKey, functionKey)
HUI_DETAIL_SWITCH_CATEGORY(ParameterEdit, paramEdit)
HUI_DETAIL_SWITCH_CATEGORY(FootswitchesAndSounds, footswitchesAndSounds)
#undef HUI_DETAIL_SWITCH_CATEGORY

template <class T>
concept SwitchCategoryEnum = requires {
    SwitchCategory<T>::switchCase;
};

// The pair of case number `which` of the category of HUISwitch case `category` (zone 0 for the
// bare channel-strip cases), and the case's name.
HUIZoneAndPort categoryZoneAndPort(HUISwitch::Case category, std::uint8_t which);
std::string_view categoryCaseName(HUISwitch::Case category, std::uint8_t which);

}  // namespace detail

template <class Category>
constexpr HUISwitch HUISwitch::of(Category which) {
    static_assert(detail::SwitchCategoryEnum<Category> &&
                      detail::SwitchCategory<Category>::switchCase != Case::channelStrip,
                  "a channel-strip switch needs its strip: use channelStrip(channel, which)");
    return HUISwitch(detail::SwitchCategory<Category>::switchCase, static_cast<std::uint8_t>(which),
                     0);
}

template <class Category>
constexpr std::optional<Category> HUISwitch::category() const {
    constexpr Case wanted = detail::SwitchCategory<Category>::switchCase;
    if (case_ != wanted) return std::nullopt;
    return static_cast<Category>(wanted == Case::channelStrip ? second_ : first_);
}

// The wire address of any switch name: a category case (a bare channel-strip case has zone 0),
// or an HUISwitch.
template <detail::SwitchCategoryEnum Category>
HUIZoneAndPort zoneAndPort(Category which) {
    return detail::categoryZoneAndPort(detail::SwitchCategory<Category>::switchCase,
                                       static_cast<std::uint8_t>(which));
}
inline HUIZoneAndPort zoneAndPort(const HUISwitch& s) {
    return s.zoneAndPort();
}

// The case name of a category case ("sendA", "discreteInput1to1"; "auto", "default" and "delete"
// without the trailing underscore of their C++ names).
template <detail::SwitchCategoryEnum Category>
std::string description(Category which) {
    return std::string(detail::categoryCaseName(detail::SwitchCategory<Category>::switchCase,
                                                static_cast<std::uint8_t>(which)));
}

// Whatever names a switch and has a wire address.
template <class T>
concept HUISwitchProtocol = requires(const T& t) {
    { zoneAndPort(t) } -> std::same_as<HUIZoneAndPort>;
};

}  // namespace hui

template <>
struct std::hash<hui::HUISwitch> {
    std::size_t operator()(const hui::HUISwitch& s) const { return s.hash(); }
};
