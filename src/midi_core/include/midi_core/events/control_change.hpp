// Control change (MIDI 1.0 status 0xB0, MIDI 2.0 control change) and the 128 controllers.
//
// Every controller number 0...127 is exactly one `CC::Controller`: one of 49 named controllers,
// the LSB of controller 0...31 (numbers 32...63), a channel-mode message (120...127) or an
// undefined controller (the 39 others); `number()` maps back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "midi_core/chan_voice_values.hpp"
#include "midi_core/protocol_version.hpp"
#include "midi_core/unsigned_integer.hpp"
#include "midi_core/wire.hpp"

namespace midicore::events {

// The named controllers with their numbers and names.
#define MIDICORE_CC_NAMED_CONTROLLERS(X)                                        \
    X(bankSelect, 0, "Bank Select")                                             \
    X(modWheel, 1, "Mod Wheel")                                                 \
    X(breath, 2, "Breath Controller")                                           \
    X(footController, 4, "Foot Controller")                                     \
    X(portamentoTime, 5, "Portamento Time")                                     \
    X(dataEntry, 6, "Data Entry MSB")                                           \
    X(volume, 7, "Volume")                                                      \
    X(balance, 8, "Balance")                                                    \
    X(pan, 10, "Pan")                                                           \
    X(expression, 11, "Expression")                                             \
    X(effectControl1, 12, "Effect Control 1")                                   \
    X(effectControl2, 13, "Effect Control 2")                                   \
    X(generalPurpose1, 16, "General Purpose 1")                                 \
    X(generalPurpose2, 17, "General Purpose 2")                                 \
    X(generalPurpose3, 18, "General Purpose 3")                                 \
    X(generalPurpose4, 19, "General Purpose 4")                                 \
    X(sustainPedal, 64, "Sustain Pedal")                                        \
    X(portamento, 65, "Portamento")                                             \
    X(sostenutoPedal, 66, "Sostenuto Pedal")                                    \
    X(softPedal, 67, "Soft Pedal")                                              \
    X(legatoFootswitch, 68, "Legato Footswitch")                                \
    X(hold2, 69, "Hold 2")                                                      \
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
    X(generalPurpose5, 80, "General Purpose 5")                                 \
    X(generalPurpose6, 81, "General Purpose 6")                                 \
    X(generalPurpose7, 82, "General Purpose 7")                                 \
    X(generalPurpose8, 83, "General Purpose 8")                                 \
    X(portamentoControl, 84, "Portamento Control")                              \
    X(highResolutionVelocityPrefix, 88, "High Resolution Velocity Prefix")      \
    X(effects1Depth_reverbSendLevel, 91, "Effects 1 Depth - Reverb Send Level") \
    X(effects2Depth, 92, "Effects 2 Depth")                                     \
    X(effects3Depth_chorusSendLevel, 93, "Effects 3 Depth - Chorus Send Level") \
    X(effects4Depth, 94, "Effects 4 Depth")                                     \
    X(effects5Depth, 95, "Effects 5 Depth")                                     \
    X(dataIncrement, 96, "Data Increment")                                      \
    X(dataDecrement, 97, "Data Decrement")                                      \
    X(nrpnLSB, 98, "NRPN LSB")                                                  \
    X(nrpnMSB, 99, "NRPN MSB")                                                  \
    X(rpnLSB, 100, "RPN LSB")                                                   \
    X(rpnMSB, 101, "RPN MSB")

// The named LSB controllers: case, the number of the MSB controller they belong to, name.
#define MIDICORE_CC_NAMED_LSBS(X)                   \
    X(bankSelect, 0, "Bank Select LSB")             \
    X(modWheel, 1, "Mod Wheel LSB")                 \
    X(breath, 2, "Breath Controller LSB")           \
    X(footController, 4, "Foot Controller LSB")     \
    X(portamentoTime, 5, "PortamentoTime LSB")      \
    X(dataEntry, 6, "Data Entry LSB")               \
    X(channelVolume, 7, "Volume LSB")               \
    X(balance, 8, "Balance LSB")                    \
    X(pan, 10, "Pan LSB")                           \
    X(expression, 11, "Expression LSB")             \
    X(effectControl1, 12, "Effect Control 1 LSB")   \
    X(effectControl2, 13, "Effect Control 2 LSB")   \
    X(generalPurpose1, 16, "General Purpose 1 LSB") \
    X(generalPurpose2, 17, "General Purpose 2 LSB") \
    X(generalPurpose3, 18, "General Purpose 3 LSB") \
    X(generalPurpose4, 19, "General Purpose 4 LSB")

struct CC {
    class Controller {
      public:
        // Channel-mode messages, controllers 120...127 in this order.
        enum class Mode : uint8_t {
            allSoundOff,
            resetAllControllers,
            localControl,
            allNotesOff,
            omniModeOff,
            omniModeOn,
            monoModeOn,
            polyModeOn
        };

        // The 39 controllers without a name, each valued as its own number.
        enum class Undefined : uint8_t {
            cc3 = 3,
            cc9 = 9,
            cc14 = 14,
            cc15 = 15,
            cc20 = 20,
            cc21,
            cc22,
            cc23,
            cc24,
            cc25,
            cc26,
            cc27,
            cc28,
            cc29,
            cc30,
            cc31,
            cc85 = 85,
            cc86,
            cc87,
            cc89 = 89,
            cc90,
            cc102 = 102,
            cc103,
            cc104,
            cc105,
            cc106,
            cc107,
            cc108,
            cc109,
            cc110,
            cc111,
            cc112,
            cc113,
            cc114,
            cc115,
            cc116,
            cc117,
            cc118,
            cc119
        };

        // The LSB (controller n + 32) of a controller n in 0...31.
        class LSB {
          public:
            // The LSBs of the MSB controllers without a name, valued as the MSB number.
            enum class Undefined : uint8_t {
                cc3 = 3,
                cc9 = 9,
                cc14 = 14,
                cc15 = 15,
                cc20 = 20,
                cc21,
                cc22,
                cc23,
                cc24,
                cc25,
                cc26,
                cc27,
                cc28,
                cc29,
                cc30,
                cc31
            };

            enum class Case : uint8_t {
#define MIDICORE_X(name, msb, text) name,
                MIDICORE_CC_NAMED_LSBS(MIDICORE_X)
#undef MIDICORE_X
                    undefined
            };

#define MIDICORE_X(name, msb, text) \
    static constexpr LSB name() {   \
        return LSB(msb);            \
    }
            MIDICORE_CC_NAMED_LSBS(MIDICORE_X)
#undef MIDICORE_X
            static constexpr LSB undefined(Undefined u) {
                return LSB(static_cast<uint8_t>(u));
            }

            Case lsbCase() const;
            std::optional<Undefined> undefinedValue() const;
            // 32...63.
            constexpr UInt7 number() const {
                return UInt7::truncating(msb_ + 32);
            }
            // The MSB controller's number, 0...31.
            constexpr UInt7 msbNumber() const {
                return UInt7::truncating(msb_);
            }
            // "Volume LSB", "Undefined CC3 LSB".
            std::string name() const;
            friend constexpr bool operator==(LSB, LSB) = default;

          private:
            friend class Controller;
            constexpr explicit LSB(uint8_t msb) : msb_(msb) {}
            uint8_t msb_;
        };

        enum class Case : uint8_t {
#define MIDICORE_X(name, number, text) name,
            MIDICORE_CC_NAMED_CONTROLLERS(MIDICORE_X)
#undef MIDICORE_X
                lsb,
            mode,
            undefined
        };

        // The controller with the number; total.
        constexpr explicit Controller(UInt7 number) : number_(number.value()) {}

#define MIDICORE_X(name, number, text)    \
    static constexpr Controller name() {  \
        return Controller(UInt7(number)); \
    }
        MIDICORE_CC_NAMED_CONTROLLERS(MIDICORE_X)
#undef MIDICORE_X
        static constexpr Controller lsb(LSB l) {
            return Controller(l.number());
        }
        static constexpr Controller mode(Mode m) {
            return Controller(UInt7::truncating(120 + static_cast<unsigned>(m)));
        }
        static constexpr Controller undefined(Undefined u) {
            return Controller(UInt7::truncating(static_cast<uint8_t>(u)));
        }

        // All 128 controllers in number order (entry n has number n). A constant.
        static const std::array<Controller, 128>& allCases();

        Case controllerCase() const;
        std::optional<LSB> lsbValue() const;
        std::optional<Mode> modeValue() const;
        std::optional<Undefined> undefinedValue() const;

        constexpr UInt7 number() const {
            return UInt7::truncating(number_);
        }
        // "Volume", "Volume LSB", "Undefined CC3", "Poly Mode On".
        std::string name() const;
        // The number in decimal.
        std::string description() const {
            return std::to_string(number_);
        }

        friend constexpr bool operator==(Controller, Controller) = default;
        size_t hash() const {
            return std::hash<uint8_t>{}(number_);
        }

      private:
        uint8_t number_;
    };

    Controller controller;
    ChanVoice7Bit32BitValue::Validated value;
    UInt4 channel;
    UInt4 group;

    // Store every argument unchanged; a number becomes its controller.
    CC(Controller controller, ChanVoice7Bit32BitValue value, UInt4 channel = UInt4(0),
       UInt4 group = UInt4(0))
        : controller(controller), value(value), channel(channel), group(group) {}
    CC(UInt7 controllerNumber, ChanVoice7Bit32BitValue value, UInt4 channel = UInt4(0),
       UInt4 group = UInt4(0))
        : CC(Controller(controllerNumber), value, channel, group) {}

    // 0xB0 + channel, controller number, the value's 7 bits.
    MIDI1Bytes midi1RawBytes() const;
    // MIDI 1.0 protocol: one type-2 word; MIDI 2.0: word 0 with the controller number, word 1 the
    // value's 32 bits.
    UMPPacket umpRawWords(MIDIProtocolVersion protocol) const;
    uint8_t midi1RawStatusByte() const {
        return static_cast<uint8_t>(0xB0 | channel.value());
    }
    // (controller number, value's 7 bits).
    std::pair<UInt7, UInt7> midi1RawDataBytes() const {
        return {controller.number(), value.value().midi1Value()};
    }

    // "cc(7, val: midi1(100)/midi2(3374618185), chan: 0x3, group: 0x0)".
    std::string description() const;
    size_t hash() const;
    friend bool operator==(const CC&, const CC&) = default;
};

UInt7 number(CC::Controller::Mode mode);
UInt7 number(CC::Controller::Undefined undefined);
// 32 + the MSB number.
UInt7 number(CC::Controller::LSB::Undefined undefined);
UInt7 msbNumber(CC::Controller::LSB::Undefined undefined);
std::string name(CC::Controller::Mode mode);
std::string name(CC::Controller::Undefined undefined);
std::string name(CC::Controller::LSB::Undefined undefined);

}  // namespace midicore::events

template <>
struct std::hash<midicore::events::CC::Controller> {
    size_t operator()(const midicore::events::CC::Controller& v) const { return v.hash(); }
};
template <>
struct std::hash<midicore::events::CC> {
    size_t operator()(const midicore::events::CC& v) const { return v.hash(); }
};
