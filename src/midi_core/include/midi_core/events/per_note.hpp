// MIDI 2.0 per-note messages: the note attribute a Note On or Note Off may carry, per-note
// controllers (registered and assignable) and per-note management. None of them has a MIDI 1.0
// form; the controller and management records always encode as one two-word MIDI 2.0
// channel-voice packet, whatever the protocol.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "midi_core/bytes.hpp"
#include "midi_core/chan_voice_values.hpp"
#include "midi_core/midi_note.hpp"
#include "midi_core/unsigned_integer.hpp"
#include "midi_core/wire.hpp"

namespace midicore::events {

// The attribute of a MIDI 2.0 Note On or Note Off: an 8-bit type and 16 bits of data in the
// packet.
class NoteAttribute {
  public:
    // A pitch in semitones with a 9-bit fraction: coarse in bits 15-9, fine in bits 8-0.
    struct Pitch7_9 {
        UInt7 coarse;
        UInt9 fine;

        // coarse = value >> 9, fine = the low 9 bits.
        static constexpr Pitch7_9 fromUInt16(uint16_t value) {
            return {UInt7::truncating(value >> 9), UInt9::truncating(value)};
        }
        constexpr uint16_t uInt16Value() const {
            return static_cast<uint16_t>(coarse.value() << 9 | fine.value());
        }
        // The 16-bit number msb << 8 | lsb, split as above.
        static constexpr Pitch7_9 fromBytePair(BytePair pair) {
            return fromUInt16(pair.uInt16Value());
        }
        constexpr BytePair bytePair() const { return BytePair(uInt16Value()); }
        // Semitones with a fraction, limited to 0...127 + 511/512; the fraction rounds to the
        // nearest 1/512 (halves away from zero), carrying into the semitone when it rounds up to a
        // whole one. NaN gives (0, 0).
        static Pitch7_9 fromDouble(double semitones);
        // coarse + fine / 512.
        double doubleValue() const { return coarse.value() + fine.value() / 512.0; }

        // "pitch7.9(60, fine:256)".
        std::string description() const;
        size_t hash() const;
        friend constexpr bool operator==(const Pitch7_9&, const Pitch7_9&) = default;
    };

    enum class Case : uint8_t { none, manufacturerSpecific, profileSpecific, pitch7_9, undefined };

    static NoteAttribute none() { return NoteAttribute(); }
    static NoteAttribute manufacturerSpecific(uint16_t data) {
        return NoteAttribute(Case::manufacturerSpecific, 1, data);
    }
    static NoteAttribute profileSpecific(uint16_t data) {
        return NoteAttribute(Case::profileSpecific, 2, data);
    }
    static NoteAttribute pitch7_9(Pitch7_9 pitch) {
        return NoteAttribute(Case::pitch7_9, 3, pitch.uInt16Value());
    }
    static NoteAttribute pitch7_9(UInt7 coarse, UInt9 fine) { return pitch7_9({coarse, fine}); }
    // Any type with its data, kept as given (type 1 stays `undefined` here).
    static NoteAttribute undefined(uint8_t attributeType, uint16_t data) {
        return NoteAttribute(Case::undefined, attributeType, data);
    }
    // Decoding a packet's fields: type 0 is `none` (data ignored), 1 manufacturer-specific, 2
    // profile-specific, 3 a 7.9 pitch, any other type `undefined`.
    static NoteAttribute fromTypeAndData(uint8_t attributeType, uint16_t data);

    Case attributeCase() const { return case_; }
    // The packet fields: none gives 0 and 0.
    uint8_t attributeType() const { return type_; }
    uint16_t attributeData() const { return data_; }
    // The pitch of the `pitch7_9` case.
    std::optional<Pitch7_9> pitch() const {
        if (case_ != Case::pitch7_9) return std::nullopt;
        return Pitch7_9::fromUInt16(data_);
    }

    // "none", "manufacturerSpecific(12)", "profileSpecific(12)", the pitch's text, or
    // "undefined(0x05, data: 0x01FF)".
    std::string description() const;
    size_t hash() const;
    friend bool operator==(const NoteAttribute&, const NoteAttribute&) = default;

  private:
    NoteAttribute() = default;
    NoteAttribute(Case c, uint8_t type, uint16_t data) : case_(c), type_(type), data_(data) {}

    Case case_ = Case::none;
    uint8_t type_ = 0;
    uint16_t data_ = 0;
};

// The 22 registered per-note controllers that have a name, with their index and name.
#define MIDICORE_REGISTERED_PER_NOTE_CONTROLLERS(X)                             \
    X(modWheel, 1, "Mod Wheel")                                                 \
    X(breath, 2, "Breath Controller")                                           \
    X(pitch7_25, 3, "Pitch 7.25")                                               \
    X(volume, 7, "Volume")                                                      \
    X(balance, 8, "Balance")                                                    \
    X(pan, 10, "Pan")                                                           \
    X(expression, 11, "Expression")                                             \
    X(soundCtrl1_soundVariation, 70, "Sound Control 1 - Sound Variation")       \
    X(soundCtrl2_timbreIntensity, 71, "Sound Control 2 - Timbre Intensity")     \
    X(soundCtrl3_releaseTime, 72, "Sound Control 3 - Release Time")             \
    X(soundCtrl4_attackTime, 73, "Sound Control 4 - Attack Time")               \
    X(soundCtrl5_brightness, 74, "Sound Control 5 - Brightness")                \
    X(soundCtrl6_decayTime, 75, "Sound Control 6 - Decay Time")                 \
    X(soundCtrl7_vibratoRate, 76, "Sound Control 7 - Vibrato Rate")             \
    X(soundCtrl8_vibratoDepth, 77, "Sound Control 8 - Vibrato Depth")           \
    X(soundCtrl9_vibratoDelay, 78, "Sound Control 9 - Vibrato Delay")           \
    X(soundCtrl10_defaultUndefined, 79, "Sound Control 10 - Undefined")         \
    X(effects1Depth_reverbSendLevel, 91, "Effects 1 Depth - Reverb Send Level") \
    X(effects2Depth, 92, "Effects 2 Depth")                                     \
    X(effects3Depth_chorusSendLevel, 93, "Effects 3 Depth - Chorus Send Level") \
    X(effects4Depth, 94, "Effects 4 Depth")                                     \
    X(effects5Depth, 95, "Effects 5 Depth")

// A per-note controller message (MIDI 2.0 status 0x0 registered, 0x1 assignable).
struct NoteCC {
    class PerNoteController {
      public:
        // One of the 256 registered per-note controller indices: a named controller, or
        // `undefined` holding the index. Every index 0...255 has exactly one value.
        class Registered {
          public:
            // An index without a name (0, 4-6, 9, 12-69, 80-90, 96-255).
            class Undefined {
              public:
                // None for an index that has a named controller.
                static constexpr std::optional<Undefined> fromNumber(uint8_t index);
                // Undefined::cc<12>() and so on; only indices without a name compile.
                template <uint8_t N>
                static constexpr Undefined cc();

                constexpr uint8_t number() const { return index_; }
                // "Undefined Per-Note CC12".
                std::string name() const;
                friend constexpr bool operator==(Undefined, Undefined) = default;

              private:
                constexpr explicit Undefined(uint8_t index) : index_(index) {}
                uint8_t index_;
            };

            // The 7.25 pitch a `pitch7_25` controller value stands for; nothing converts into it.
            struct Pitch7_25 {
                UInt7 coarse;
                UInt25 fine;
                friend constexpr bool operator==(const Pitch7_25&, const Pitch7_25&) = default;
            };

            enum class Case : uint8_t {
#define MIDICORE_X(name, index, text) name,
                MIDICORE_REGISTERED_PER_NOTE_CONTROLLERS(MIDICORE_X)
#undef MIDICORE_X
                    undefined
            };

#define MIDICORE_X(name, index, text)    \
    static constexpr Registered name() { \
        return Registered(index);        \
    }
            MIDICORE_REGISTERED_PER_NOTE_CONTROLLERS(MIDICORE_X)
#undef MIDICORE_X
            static constexpr Registered undefined(Undefined u) {
                return Registered(u.number());
            }

            // Decoding the index byte of a packet; total.
            static constexpr Registered fromIndex(uint8_t index) {
                return Registered(index);
            }
            // Indices 1...255 in ascending order (index 0 is left out): 255 values. A constant.
            static const std::array<Registered, 255>& allCases();

            // Whether the index has a named controller.
            static constexpr bool hasName(uint8_t index) {
#define MIDICORE_X(name, number, text) \
    if (index == (number)) return true;
                MIDICORE_REGISTERED_PER_NOTE_CONTROLLERS(MIDICORE_X)
#undef MIDICORE_X
                return false;
            }

            Case registeredCase() const;
            std::optional<Undefined> undefinedValue() const {
                return Undefined::fromNumber(index_);
            }
            constexpr uint8_t number() const {
                return index_;
            }
            std::string name() const;

            friend constexpr bool operator==(Registered, Registered) = default;
            // Equal to an integer of any type whose value is the index.
            template <midicore::detail::StandardInteger T>
            friend constexpr bool operator==(Registered r, T n) {
                return std::cmp_equal(r.index_, n);
            }
            size_t hash() const {
                return std::hash<uint8_t>{}(index_);
            }

          private:
            constexpr explicit Registered(uint8_t index) : index_(index) {}
            uint8_t index_;
        };

        enum class Case : uint8_t { registered, assignable };

        static constexpr PerNoteController registered(Registered r) {
            return PerNoteController(Case::registered, r.number());
        }
        static constexpr PerNoteController assignable(uint8_t index) {
            return PerNoteController(Case::assignable, index);
        }

        constexpr Case controllerCase() const {
            return case_;
        }
        std::optional<Registered> registeredValue() const {
            if (case_ != Case::registered) return std::nullopt;
            return Registered::fromIndex(index_);
        }
        // The registered or assignable index.
        constexpr uint8_t number() const {
            return index_;
        }
        // "registered(10)" or "assignable(200)".
        std::string description() const;
        size_t hash() const;
        friend constexpr bool operator==(PerNoteController, PerNoteController) = default;

      private:
        constexpr PerNoteController(Case c, uint8_t index) : case_(c), index_(index) {}
        Case case_;
        uint8_t index_;
    };

    MIDINote note;
    PerNoteController controller;
    ChanVoice32BitValue::Validated value;
    UInt4 channel;
    UInt4 group;

    // Stores every argument unchanged.
    NoteCC(MIDINote note, PerNoteController controller, ChanVoice32BitValue value,
           UInt4 channel = UInt4(0), UInt4 group = UInt4(0))
        : note(note), controller(controller), value(value), channel(channel), group(group) {}

    // One message-type-4 packet under either protocol: status 0x0 (registered) or 0x1
    // (assignable), note, index; then the value as 32 bits.
    UMPPacket umpRawWords() const;
    // "noteCC(note: 60 (C3)), controller: registered(10), val: midi2(2147483648), chan: 0x1,
    // group: 0x0)".
    std::string description() const;
    size_t hash() const;
    friend bool operator==(const NoteCC&, const NoteCC&) = default;
};

// Per-note management: detach or reset the per-note controllers of a note.
struct NoteManagement {
    enum class OptionFlag : uint8_t { detachPerNoteControllers, resetPerNoteControllers };

    // A set of option flags. Iteration and text follow the declaration order of the flags.
    class OptionFlags {
      public:
        constexpr OptionFlags() = default;
        constexpr OptionFlags(std::initializer_list<OptionFlag> flags) {
            for (OptionFlag f : flags)
                insert(f);
        }
        // The packet's option bits: bit 0 resets, bit 1 detaches; other bits are ignored.
        static constexpr OptionFlags fromUMPOptionBits(uint8_t bits) {
            OptionFlags flags;
            if (bits & 0x02) flags.insert(OptionFlag::detachPerNoteControllers);
            if (bits & 0x01) flags.insert(OptionFlag::resetPerNoteControllers);
            return flags;
        }
        constexpr uint8_t umpOptionBits() const {
            return static_cast<uint8_t>(
                (contains(OptionFlag::detachPerNoteControllers) ? 0x02 : 0) |
                (contains(OptionFlag::resetPerNoteControllers) ? 0x01 : 0));
        }

        constexpr bool contains(OptionFlag f) const { return (mask_ & bit(f)) != 0; }
        constexpr void insert(OptionFlag f) { mask_ = static_cast<uint8_t>(mask_ | bit(f)); }
        constexpr void erase(OptionFlag f) { mask_ = static_cast<uint8_t>(mask_ & ~bit(f)); }
        constexpr bool empty() const { return mask_ == 0; }
        constexpr size_t size() const { return (mask_ & 1) + (mask_ >> 1 & 1); }

        // "[detachPerNoteControllers, resetPerNoteControllers]", "[]" when empty.
        std::string description() const;
        size_t hash() const { return std::hash<uint8_t>{}(mask_); }
        friend constexpr bool operator==(OptionFlags, OptionFlags) = default;

      private:
        static constexpr uint8_t bit(OptionFlag f) {
            return static_cast<uint8_t>(1u << static_cast<unsigned>(f));
        }
        uint8_t mask_ = 0;
    };

    MIDINote note;
    OptionFlags optionFlags;
    UInt4 channel;
    UInt4 group;

    NoteManagement(MIDINote note, OptionFlags optionFlags, UInt4 channel = UInt4(0),
                   UInt4 group = UInt4(0))
        : note(note), optionFlags(optionFlags), channel(channel), group(group) {}

    // One message-type-4 packet under either protocol: status 0xF, note, option bits; word 1 is 0.
    UMPPacket umpRawWords() const;
    // "noteManagement(options: [resetPerNoteControllers], chan: 0x2, group: 0x3)".
    std::string description() const;
    size_t hash() const;
    friend bool operator==(const NoteManagement&, const NoteManagement&) = default;
};

// "detachPerNoteControllers" or "resetPerNoteControllers".
std::string description(NoteManagement::OptionFlag flag);

// --- Inline definitions that need the complete types.

constexpr std::optional<NoteCC::PerNoteController::Registered::Undefined>
NoteCC::PerNoteController::Registered::Undefined::fromNumber(uint8_t index) {
    if (Registered::hasName(index)) return std::nullopt;
    return Undefined(index);
}

template <uint8_t N>
constexpr NoteCC::PerNoteController::Registered::Undefined
NoteCC::PerNoteController::Registered::Undefined::cc() {
    static_assert(!Registered::hasName(N), "this index has a named controller");
    return Undefined(N);
}

}  // namespace midicore::events

template <>
struct std::hash<midicore::events::NoteAttribute> {
    size_t operator()(const midicore::events::NoteAttribute& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::events::NoteAttribute::Pitch7_9> {
    size_t operator()(const midicore::events::NoteAttribute::Pitch7_9& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::events::NoteCC::PerNoteController> {
    size_t operator()(const midicore::events::NoteCC::PerNoteController& v) const {
        return v.hash();
    }
};
template <>
struct std::hash<midicore::events::NoteCC::PerNoteController::Registered> {
    size_t operator()(const midicore::events::NoteCC::PerNoteController::Registered& v) const {
        return v.hash();
    }
};
template <>
struct std::hash<midicore::events::NoteCC> {
    size_t operator()(const midicore::events::NoteCC& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::events::NoteManagement::OptionFlags> {
    size_t operator()(const midicore::events::NoteManagement::OptionFlags& v) const {
        return v.hash();
    }
};
template <>
struct std::hash<midicore::events::NoteManagement> {
    size_t operator()(const midicore::events::NoteManagement& v) const { return v.hash(); }
};
