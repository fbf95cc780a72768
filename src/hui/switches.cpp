#include "hui/switches.hpp"

#include <optional>
#include <utility>

#include "hui/detail/hash_feed.hpp"

namespace hui {

namespace {

using S = HUISwitch;
using Cell = std::optional<HUISwitch>;
constexpr Cell none = std::nullopt;

constexpr std::uint8_t zoneCount = 0x1E;
constexpr std::uint8_t portCount = 8;
constexpr std::uint8_t stripCount = 8;
constexpr std::size_t catalogueSize = 196;
constexpr std::size_t categoryCount = 17;
constexpr std::size_t maxCategoryCases = 18;

using Row = std::array<Cell, portCount>;

// The ports of a channel strip's switches; the zone is the strip number.
constexpr std::array<S::ChannelStrip, portCount> stripPorts = {
    S::ChannelStrip::faderTouched, S::ChannelStrip::select,      S::ChannelStrip::mute,
    S::ChannelStrip::solo,         S::ChannelStrip::auto_,       S::ChannelStrip::vPotSelect,
    S::ChannelStrip::insert,       S::ChannelStrip::recordReady,
};

// Zones 0x08 to 0x1D, ports 0 to 7; `none` where a port names no switch.
constexpr std::array<Row, zoneCount - stripCount> categoryZones = [] {
    using H = S::HotKey;
    using W = S::Window;
    using B = S::BankMove;
    using A = S::Assign;
    using C = S::Cursor;
    using T = S::Transport;
    using R = S::ControlRoom;
    using N = S::NumPad;
    using D = S::TimeDisplayStatus;
    using E = S::AutoEnable;
    using M = S::AutoMode;
    using G = S::StatusAndGroup;
    using X = S::Edit;
    using F = S::FunctionKey;
    using P = S::ParameterEdit;
    using O = S::FootswitchesAndSounds;
    return std::array<Row, zoneCount - stripCount>{{
        /* 0x08 */ {S::of(H::ctrl), S::of(H::shift), S::of(H::editMode), S::of(H::undo),
                    S::of(H::cmd), S::of(H::option), S::of(H::editTool), S::of(H::save)},
        /* 0x09 */
        {S::of(W::mix), S::of(W::edit), S::of(W::transport), S::of(W::memLoc), S::of(W::status),
         S::of(W::alt), none, none},
        /* 0x0A */
        {S::of(B::channelLeft), S::of(B::bankLeft), S::of(B::channelRight), S::of(B::bankRight),
         none, none, none, none},
        /* 0x0B */
        {S::of(A::output), S::of(A::input), S::of(A::pan), S::of(A::sendE), S::of(A::sendD),
         S::of(A::sendC), S::of(A::sendB), S::of(A::sendA)},
        /* 0x0C */
        {S::of(A::assign), S::of(A::default_), S::of(A::suspend), S::of(A::shift), S::of(A::mute),
         S::of(A::bypass), S::of(A::recordReadyAll), none},
        /* 0x0D */
        {S::of(C::down), S::of(C::left), S::of(C::mode), S::of(C::right), S::of(C::up),
         S::of(C::scrub), S::of(C::shuttle), none},
        /* 0x0E */
        {S::of(T::talkback), S::of(T::rewind), S::of(T::fastFwd), S::of(T::stop), S::of(T::play),
         S::of(T::record), none, none},
        /* 0x0F */
        {S::of(T::rtz), S::of(T::end), S::of(T::online), S::of(T::loop), S::of(T::quickPunch), none,
         none, none},
        /* 0x10 */
        {S::of(T::punchAudition), S::of(T::punchPre), S::of(T::punchIn), S::of(T::punchOut),
         S::of(T::punchPost), none, none, none},
        /* 0x11 */
        {S::of(R::input3), S::of(R::input2), S::of(R::input1), S::of(R::mute),
         S::of(R::discreteInput1to1), none, none, none},
        /* 0x12 */
        {S::of(R::output3), S::of(R::output2), S::of(R::output1), S::of(R::dim), S::of(R::mono),
         none, none, none},
        /* 0x13 */
        {S::of(N::num0), S::of(N::num1), S::of(N::num4), S::of(N::num2), S::of(N::num5),
         S::of(N::period), S::of(N::num3), S::of(N::num6)},
        /* 0x14 */ {S::of(N::enter), S::of(N::plus), none, none, none, none, none, none},
        /* 0x15 */
        {S::of(N::num7), S::of(N::num8), S::of(N::num9), S::of(N::minus), S::of(N::clr),
         S::of(N::equals), S::of(N::forwardSlash), S::of(N::asterisk)},
        /* 0x16 */
        {S::of(D::timecode), S::of(D::feet), S::of(D::beats), S::of(D::rudeSolo), none, none, none,
         none},
        /* 0x17 */
        {S::of(E::plugin), S::of(E::pan), S::of(E::fader), S::of(E::sendMute), S::of(E::send),
         S::of(E::mute), none, none},
        /* 0x18 */
        {S::of(M::trim), S::of(M::latch), S::of(M::read), S::of(M::off), S::of(M::write),
         S::of(M::touch), none, none},
        /* 0x19 */
        {S::of(G::phase), S::of(G::monitor), S::of(G::auto_), S::of(G::suspend), S::of(G::create),
         S::of(G::group), none, none},
        /* 0x1A */
        {S::of(X::paste), S::of(X::cut), S::of(X::capture), S::of(X::delete_), S::of(X::copy),
         S::of(X::separate), none, none},
        /* 0x1B */
        {S::of(F::f1), S::of(F::f2), S::of(F::f3), S::of(F::f4), S::of(F::f5), S::of(F::f6),
         S::of(F::f7), S::of(F::f8OrEsc)},
        /* 0x1C */
        {S::of(P::insertOrParam), S::of(P::assign), S::of(P::param1Select), S::of(P::param2Select),
         S::of(P::param3Select), S::of(P::param4Select), S::of(P::bypass), S::of(P::compare)},
        /* 0x1D */
        {S::of(O::footswitchRelay1), S::of(O::footswitchRelay2), S::of(O::click), S::of(O::beep),
         none, none, none, none},
    }};
}();

// Every zone of the catalogue, the channel strips included.
constexpr std::array<Row, zoneCount> zones = [] {
    std::array<Row, zoneCount> out{};
    for (std::uint8_t zone = 0; zone < stripCount; ++zone) {
        for (std::uint8_t port = 0; port < portCount; ++port) {
            out[zone][port] = S::channelStrip(midicore::UInt4(zone), stripPorts[port]);
        }
    }
    for (std::uint8_t zone = stripCount; zone < zoneCount; ++zone)
        out[zone] = categoryZones[zone - stripCount];
    return out;
}();

using ZoneAndPortTable = std::array<std::array<HUIZoneAndPort, maxCategoryCases>, categoryCount>;

// The pair of every category case, indexed by HUISwitch case and case number; the bare
// channel-strip cases have zone 0.
constexpr ZoneAndPortTable categoryPairs = [] {
    ZoneAndPortTable out{};
    for (std::uint8_t zone = stripCount; zone < zoneCount; ++zone) {
        for (std::uint8_t port = 0; port < portCount; ++port) {
            if (const Cell& cell = zones[zone][port]) {
                out[static_cast<std::size_t>(cell->switchCase())][cell->categoryCaseNumber()] = {
                    zone, midicore::UInt4(port)};
            }
        }
    }
    for (std::uint8_t port = 0; port < portCount; ++port) {
        out[0][static_cast<std::size_t>(stripPorts[port])] = {0, midicore::UInt4(port)};
    }
    return out;
}();

// The defined cells in zone order, then port order.
constexpr std::array<Cell, catalogueSize> definedCells = [] {
    std::array<Cell, catalogueSize> out{};
    std::size_t count = 0;
    for (const Row& row : zones) {
        for (const Cell& cell : row) {
            if (cell) out.at(count++) = cell;
        }
    }
    // A wrong count in the tables above stops the build here.
    if (count != catalogueSize) throw "the catalogue must hold 196 switches";
    return out;
}();

constexpr std::array<HUISwitch, catalogueSize> catalogue =
    []<std::size_t... i>(std::index_sequence<i...>) {
    return std::array<HUISwitch, catalogueSize>{*definedCells[i]...};
}
(std::make_index_sequence<catalogueSize>());

constexpr std::string_view caseNames[] = {
    "channelStrip",
    "hotKey",
    "window",
    "bankMove",
    "assign",
    "cursor",
    "transport",
    "controlRoom",
    "numPad",
    "timeDisplayStatus",
    "autoEnable",
    "autoMode",
    "statusAndGroup",
    "edit",
    "functionKey",
    "paramEdit",
    "footswitchesAndSounds",
    "undefined",
};

// The names of each category's cases in declaration order.
constexpr std::array<std::array<std::string_view, maxCategoryCases>, categoryCount> categoryNames =
    {{
        {"recordReady", "insert", "vPotSelect", "auto", "solo", "mute", "select", "faderTouched"},
        {"ctrl", "shift", "editMode", "undo", "cmd", "option", "editTool", "save"},
        {"mix", "edit", "transport", "memLoc", "status", "alt"},
        {"channelLeft", "channelRight", "bankLeft", "bankRight"},
        {"sendA", "sendB", "sendC", "sendD", "sendE", "pan", "recordReadyAll", "bypass", "mute",
         "shift", "suspend", "default", "assign", "input", "output"},
        {"up", "left", "right", "down", "mode", "scrub", "shuttle"},
        {"talkback", "rewind", "fastFwd", "stop", "play", "record", "punchAudition", "punchPre",
         "punchIn", "punchOut", "punchPost", "rtz", "end", "online", "loop", "quickPunch"},
        {"input1", "input2", "input3", "discreteInput1to1", "mute", "dim", "mono", "output1",
         "output2", "output3"},
        {"num0", "num1", "num2", "num3", "num4", "num5", "num6", "num7", "num8", "num9", "period",
         "plus", "minus", "enter", "clr", "equals", "forwardSlash", "asterisk"},
        {"timecode", "feet", "beats", "rudeSolo"},
        {"fader", "pan", "plugin", "mute", "send", "sendMute"},
        {"read", "latch", "trim", "touch", "write", "off"},
        {"auto", "monitor", "phase", "group", "create", "suspend"},
        {"capture", "cut", "paste", "separate", "copy", "delete"},
        {"f1", "f2", "f3", "f4", "f5", "f6", "f7", "f8OrEsc"},
        {"assign", "compare", "bypass", "param1Select", "param2Select", "param3Select",
         "param4Select", "insertOrParam"},
        {"footswitchRelay1", "footswitchRelay2", "click", "beep"},
    }};

}  // namespace

namespace detail {

HUIZoneAndPort categoryZoneAndPort(HUISwitch::Case category, std::uint8_t which) {
    return categoryPairs.at(static_cast<std::size_t>(category)).at(which);
}

std::string_view categoryCaseName(HUISwitch::Case category, std::uint8_t which) {
    return categoryNames.at(static_cast<std::size_t>(category)).at(which);
}

}  // namespace detail

HUISwitch HUISwitch::fromZoneAndPort(std::uint8_t zone, midicore::UInt4 port) {
    if (zone < zoneCount && port.value() < portCount) {
        if (const Cell& cell = zones[zone][port.value()]) return *cell;
    }
    return undefined(zone, port);
}

std::span<const HUISwitch, 196> HUISwitch::allCases() {
    return catalogue;
}

HUIZoneAndPort HUISwitch::zoneAndPort() const {
    switch (case_) {
        case Case::channelStrip:
            return {first_, detail::categoryZoneAndPort(case_, second_).port};
        case Case::undefined:
            return {first_, midicore::UInt4::truncating(second_)};
        default:
            return detail::categoryZoneAndPort(case_, first_);
    }
}

std::size_t HUISwitch::hash() const {
    detail::HashFeed feed;
    feed.add(static_cast<std::size_t>(case_));
    feed.add(first_);
    if (case_ == Case::channelStrip || case_ == Case::undefined) feed.add(second_);
    return feed.value();
}

std::string_view HUISwitch::caseName(Case c) {
    return caseNames[static_cast<std::size_t>(c)];
}

std::string HUISwitch::description() const {
    std::string text(caseNames[static_cast<std::size_t>(case_)]);
    switch (case_) {
        case Case::channelStrip:
            return text + "(" + std::to_string(first_) + ", " +
                   std::string(detail::categoryCaseName(case_, second_)) + ")";
        case Case::undefined:
            return text + "(zone: " + std::to_string(first_) +
                   ", port: " + std::to_string(second_) + ")";
        default:
            return text + "(" + std::string(detail::categoryCaseName(case_, first_)) + ")";
    }
}

}  // namespace hui
