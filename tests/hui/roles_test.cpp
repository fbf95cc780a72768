// A host and a surface wired back to back on a manual clock: timers fire only when the test moves
// the clock, and their work runs when the test drains the main queue.
#include <gtest/gtest.h>

#include <chrono>

#include "hui/host.hpp"
#include "hui/surface.hpp"
#include "midi1_stream.hpp"
#include "midi_support/number_text.hpp"

namespace {

using namespace hui;
using namespace std::chrono_literals;
using midicore::Int7;
using midicore::MIDIEvent;
using midicore::UInt14;
using midicore::UInt4;
using Bytes = std::vector<std::uint8_t>;

struct Link {
    std::shared_ptr<dispatch::TimerService> clock = dispatch::TimerService::makeManual();
    std::shared_ptr<dispatch::MainQueue> main = dispatch::Queue::main();
    HUIRoleEnvironment environment{main, clock, main};
    std::vector<std::string> log;
    bool hostToSurface = true;
    bool surfaceToHost = true;
    std::unique_ptr<HUISurface> surface;
    std::unique_ptr<HUIHost> host;
    std::shared_ptr<HUIHostBank> bank;

    Link() {
        main->drain();
        host = std::make_unique<HUIHost>(environment);
        bank = host->addBank(
            [this](const HUISurfaceEvent& e) { log.push_back("bank event " + e.description()); },
            [this](const std::vector<MIDIEvent>& events) {
                if (hostToSurface && surface) surface->midiIn(events);
            },
            [this](bool present) {
                log.push_back(std::string("bank presence ") + (present ? "true" : "false"));
            });
        surface = std::make_unique<HUISurface>(
            false,
            [this](const HUISurfaceModelNotification& n) {
                log.push_back("notification " + n.description());
            },
            [this](const std::vector<MIDIEvent>& events) {
                log.push_back("surface sends " +
                              midisupport::hexString(huitest::midi1Bytes(events), 2, false, " "));
                if (surfaceToHost) bank->midiIn(events);
            },
            environment);
        surface->setRemotePresenceChangedHandler([this](bool present) {
            log.push_back(std::string("surface presence ") + (present ? "true" : "false"));
        });
    }
    ~Link() {
        host.reset();
        surface.reset();
        main->drain();
    }
    // Moves the clock and runs what came due.
    void advance(std::chrono::nanoseconds by) {
        clock->advance(by);
        main->drain();
    }
    std::vector<std::string> take() { return std::exchange(log, {}); }
};

TEST(HUIRoles, PingsPresenceAndResetsBackToBack) {
    Link link;
    // The surface announced itself with a System Reset before the first ping.
    EXPECT_EQ(link.take(),
              (std::vector<std::string>{"surface sends FF", "bank event systemReset"}));
    int willChange = 0;
    auto subscription = link.bank->objectWillChange().connect([&] { ++willChange; });

    link.advance(0ns);  // the first ping comes at once
    EXPECT_EQ(link.take(), (std::vector<std::string>{"surface presence true",
                                                     "surface sends 90 00 7F", "bank presence true",
                                                     "bank event ping", "notification ping"}));
    for (int second = 1; second <= 4; ++second) {
        link.advance(1s);
        EXPECT_EQ(link.take(), (std::vector<std::string>{"surface sends 90 00 7F",
                                                         "bank event ping", "notification ping"}));
    }
    EXPECT_TRUE(link.bank->isRemotePresent());
    EXPECT_TRUE(link.surface->isRemotePresent());
    EXPECT_EQ(willChange, 1);

    // The replies stop: the bank reports absence once, two seconds after the last reply.
    link.surfaceToHost = false;
    link.advance(1s);
    EXPECT_TRUE(link.bank->isRemotePresent());
    link.take();
    link.advance(1s);
    auto log = link.take();
    EXPECT_EQ(std::count(log.begin(), log.end(), "bank presence false"), 1);
    EXPECT_FALSE(link.bank->isRemotePresent());
    for (int second = 0; second < 3; ++second)
        link.advance(1s);
    log = link.take();
    EXPECT_EQ(std::count(log.begin(), log.end(), "bank presence false"), 0);
    EXPECT_EQ(willChange, 2);

    // The pings stop too: the surface reports absence once.
    link.hostToSurface = false;
    link.take();
    link.advance(1s);
    link.advance(1s);
    EXPECT_EQ(link.take(), (std::vector<std::string>{"surface presence false"}));
    link.advance(5s);
    EXPECT_TRUE(link.take().empty());

    // A shorter timeout is stored as 1.1 s; setting it reports a present side absent at once.
    link.hostToSurface = link.surfaceToHost = true;
    link.advance(1s);
    link.take();
    link.bank->setRemotePresenceTimeout(0.5);
    EXPECT_EQ(link.bank->remotePresenceTimeout(), 1.1);
    link.advance(0ns);
    EXPECT_EQ(link.take(), (std::vector<std::string>{"bank presence false"}));
    link.advance(1s);
    EXPECT_TRUE(link.bank->isRemotePresent());

    link.surfaceToHost = false;
    link.take();
    link.surface.reset();
    EXPECT_EQ(link.take(), (std::vector<std::string>{"surface sends FF"}));
}

TEST(HUIRoles, HostWithoutBanksAndRemovedBanksSendNothing) {
    auto clock = dispatch::TimerService::makeManual();
    auto main = dispatch::Queue::main();
    HUIHost host({main, clock, main});
    int pings = 0;
    const auto count = [&](const std::vector<MIDIEvent>&) { ++pings; };
    host.removeBank(0);
    clock->advance(0ns);
    main->drain();
    auto kept = host.addBank(nullptr, count);
    host.addBank(nullptr, count);
    host.removeBank(5);
    host.removeBank(-1);
    EXPECT_EQ(host.banks().size(), 2u);
    clock->advance(1s);
    main->drain();
    EXPECT_EQ(pings, 2);
    host.removeBank(0);
    EXPECT_EQ(host.banks().size(), 1u);
    EXPECT_NE(host.banks()[0], kept);
    host.removeAllBanks();
    clock->advance(1s);
    main->drain();
    EXPECT_EQ(pings, 2);
    // A removed bank still works for whoever holds it, and never hears of a surface that never
    // answered.
    bool presenceCalled = false;
    kept->setRemotePresenceChangedHandler([&](bool) { presenceCalled = true; });
    kept->transmitPing();
    clock->advance(10s);
    main->drain();
    EXPECT_EQ(pings, 3);
    EXPECT_FALSE(presenceCalled);
}

TEST(HUIRoles, TransmitOperationsSendTheWireMessages) {
    auto main = dispatch::Queue::main();
    HUIRoleEnvironment environment{main, dispatch::TimerService::makeManual(), main};
    std::vector<std::string> sent;
    const auto record = [&](const std::vector<MIDIEvent>& events) {
        sent.push_back(midisupport::hexString(huitest::midi1Bytes(events), 2, false, " "));
    };
    HUIHostBank bank(nullptr, record, nullptr, environment);
    HUISurface surface(false, nullptr, record, environment);
    using T = HUITimeDisplayCharacter;
    const std::vector<HUILargeDisplayCharacter> ten(10, HUILargeDisplayCharacter::x);
    sent.clear();
    bank.transmitTimeDisplay(HUITimeDisplayString("12345678"));
    bank.transmitTimeDisplay(std::vector<T>{T::num1, T::num2, T::num3, T::num4, T::num5, T::num6,
                                            T::num7, T::num8, T::num9, T::num0});
    bank.transmitLargeDisplay({{UInt4(5), ten}, {UInt4(2), ten}});
    bank.transmitLargeDisplay({});
    bank.transmitSmallDisplay(HUISmallDisplay::selectAssign(), HUISmallDisplayString("abcd"));
    bank.transmitSmallDisplay(HUISmallDisplay::channel(UInt4(3)), HUISmallDisplayString("abcd"));
    bank.transmitSwitch(HUISwitch::transport(HUISwitch::Transport::stop), true);
    bank.transmitFader(UInt14(0x3FFF), UInt4(2));
    bank.transmitLevelMeter(UInt4(7), HUISurfaceModel::StereoLevelMeter::Side::right, 20);
    bank.transmitVPot(HUIVPot::channel(UInt4(0)),
                      HUIVPotDisplay::fromRingByte(midicore::UInt7(0x56)));
    surface.transmitVPot(Int7(0), HUIVPot::editAssignA());
    surface.transmitJogWheel(Int7(0));
    surface.transmitVPot(Int7(-5), HUIVPot::editAssignScroll());
    surface.transmitJogWheel(Int7(5));
    surface.transmitFaderTouch(false, UInt4(2));
    surface.transmitSwitch(HUISwitch::transport(HUISwitch::Transport::stop), false);
    surface.transmitFader(UInt14(0x0080), UInt4(2));
    const std::string x10 = "78 78 78 78 78 78 78 78 78 78";
    EXPECT_EQ(sent,
              (std::vector<std::string>{
                  "F0 00 00 66 05 00 11 08 07 06 05 04 03 02 01 F7",
                  "F0 00 00 66 05 00 11 01 02 03 04 05 06 07 08 F7",
                  "F0 00 00 66 05 00 12 02 " + x10 + " F7 F0 00 00 66 05 00 12 05 " + x10 + " F7",
                  "",
                  "F0 00 00 66 05 00 10 08 61 62 63 64 F7",
                  "F0 00 00 66 05 00 10 03 61 62 63 64 F7",
                  "B0 0C 0E B0 2C 43",
                  "B0 02 7F B0 22 7F",
                  "A0 07 1C",
                  "B0 10 56",
                  "B0 4C 05",
                  "B0 0D 45",
                  "B0 0F 02 B0 2F 00",
                  "B0 0F 0E B0 2F 03",
                  "B0 02 01 B0 22 00",
              }));
}

TEST(HUIRoles, SurfaceAnswersIdentityRequestsAndKeepsItsModel) {
    auto main = dispatch::Queue::main();
    HUIRoleEnvironment environment{main, dispatch::TimerService::makeManual(), main};
    std::vector<std::string> log;
    HUISurface surface(
        false, [&](const HUISurfaceModelNotification& n) { log.push_back(n.description()); },
        [&](const std::vector<MIDIEvent>& events) {
            log.push_back(midisupport::hexString(huitest::midi1Bytes(events), 2, false, " "));
        },
        environment);
    log.clear();
    const auto feed = [&](const Bytes& bytes) { surface.midiIn(huitest::eventsFromMIDI1(bytes)); };
    feed({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});
    feed({0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7});
    feed({0xF0, 0x7E, 0x05, 0x06, 0x01, 0xF7});  // another device: not ours, nothing
    const std::string reply = "F0 7E 00 06 02 00 00 66 05 00 00 00 01 00 00 00 F7";
    EXPECT_EQ(log, (std::vector<std::string>{reply, reply}));
    log.clear();

    feed({0xB0, 0x02, 0x10, 0xB0, 0x22, 0x05});
    feed({0xB0, 0x22, 0x05});
    surface.setAlwaysNotify(true);
    feed({0xB0, 0x22, 0x05});
    feed({0xB0, 0x0C, 0x02, 0xB0, 0x2C, 0x42, 0xB0, 0x0B, 0x00, 0xA0, 0x09, 0x03});
    EXPECT_EQ(log, (std::vector<std::string>{"channelStrip(channel: 2, faderLevel(2053))",
                                             "channelStrip(channel: 2, faderLevel(2053))",
                                             "channelStrip(channel: 2, mute(state: true))"}));
    EXPECT_TRUE(surface.model().channelStrips()[2].mute);
    surface.reset();
    EXPECT_EQ(surface.model(), HUISurfaceModel());
    log.clear();
    feed({0xB0, 0x22, 0x05});  // the MSB went with the reset
    EXPECT_EQ(log, (std::vector<std::string>{"channelStrip(channel: 2, faderLevel(5))"}));
}

// A role released from inside its own presence handler, on both paths the handler is called from:
// a sign of life delivered to midiIn (the role held by a shared_ptr, called through its plain
// address) and the timer reporting absence. The role finishes the event it was handling, goes
// with its members, and its timers never fire again.
TEST(HUIRoles, RoleReleasedByItsOwnPresenceHandler) {
    enum class Role { bankOfHost, bank, surface };
    struct Case {
        const char* name;
        Role role;
        bool releasedOn;  // the presence value whose report releases the role
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"bank held by its host only, released on absence",
         Role::bankOfHost,
         false,
         {"presence true", "event ping", "presence false", "released"}},
        {"bank released on the first ping reply",
         Role::bank,
         true,
         {"presence true", "event ping", "released"}},
        {"surface released on absence",
         Role::surface,
         false,
         {"presence true", "sends 90 00 7F", "notification ping", "presence false", "sends FF",
          "released"}},
        {"surface released on the first ping",
         Role::surface,
         true,
         {"presence true", "sends 90 00 7F", "notification ping", "sends FF", "released"}},
    };
    // Held by the role's event or notification handler: tells when the role's members go.
    struct Goodbye {
        std::vector<std::string>& log;
        ~Goodbye() { log.push_back("released"); }
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto clock = dispatch::TimerService::makeManual();
        auto main = dispatch::Queue::main();
        main->drain();
        const HUIRoleEnvironment environment{main, clock, main};
        std::vector<std::string> log;
        std::shared_ptr<Goodbye> goodbye(new Goodbye{log});
        std::unique_ptr<HUIHost> host;
        std::shared_ptr<void> holder;
        std::function<void()> release = [&] { holder.reset(); };
        const auto presence = [&](bool present) {
            log.push_back(std::string("presence ") + (present ? "true" : "false"));
            if (present == c.releasedOn) release();
        };
        std::function<void()> signOfLife;
        if (c.role == Role::surface) {
            auto surface = std::make_shared<HUISurface>(
                false,
                [&log, goodbye](const HUISurfaceModelNotification& n) {
                    log.push_back("notification " + n.description());
                },
                [&log](const std::vector<MIDIEvent>& events) {
                    log.push_back("sends " + midisupport::hexString(huitest::midi1Bytes(events), 2,
                                                                    false, " "));
                },
                environment);
            surface->setRemotePresenceChangedHandler(presence);
            signOfLife = [raw = surface.get()] { raw->midiIn(HUIHostEvent::ping().encode()); };
            holder = std::move(surface);
        } else {
            const auto events = [&log, goodbye](const HUISurfaceEvent& e) {
                log.push_back("event " + e.description());
            };
            std::shared_ptr<HUIHostBank> bank;
            if (c.role == Role::bankOfHost) {
                host = std::make_unique<HUIHost>(environment);
                bank = host->addBank(events, nullptr, presence);
                release = [&] { host->removeAllBanks(); };
            } else {
                bank = std::make_shared<HUIHostBank>(events, nullptr, presence, environment);
                holder = bank;
            }
            signOfLife = [raw = bank.get()] { raw->midiIn(HUISurfaceEvent::ping().encode()); };
        }
        goodbye.reset();
        log.clear();  // the surface's greeting

        signOfLife();
        clock->advance(3s);
        main->drain();
        EXPECT_EQ(log, c.expected);
        log.clear();
        clock->advance(10s);
        main->drain();
        EXPECT_TRUE(log.empty());
    }
}

}  // namespace
