#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <unordered_set>

#include "midi_core/bytes.hpp"
#include "midi_core/io_error.hpp"
#include "midi_core/parse_error.hpp"
#include "midi_core/protocol_version.hpp"
#include "midi_core/ump.hpp"
#include "midiservices/status.hpp"

namespace midicore {
namespace {

using StatusCase = MIDIOSStatus::Case;

struct StatusRow {
    OSStatus code;
    StatusCase statusCase;
    const char* text;
};

// Each named status with its code and sentence.
const StatusRow statusRows[] = {
    {-10830, StatusCase::invalidClient,
     "An invalid MIDIClientRef was passed. (kMIDIInvalidClient)"},
    {-10831, StatusCase::invalidPort, "An invalid MIDIPortRef was passed. (kMIDIInvalidPort)"},
    {-10832, StatusCase::wrongEndpointType,
     "A source endpoint was passed to a function expecting a destination, or vice versa. "
     "(kMIDIWrongEndpointType)"},
    {-10833, StatusCase::noConnection,
     "Attempt to close a non-existent connection. (kMIDINoConnection)"},
    {-10834, StatusCase::unknownEndpoint,
     "An invalid MIDIEndpointRef was passed. (kMIDIUnknownEndpoint)"},
    {-10835, StatusCase::unknownProperty,
     "Attempt to query a property not set on the object. (kMIDIUnknownProperty)"},
    {-10836, StatusCase::wrongPropertyType,
     "Attempt to set a property with a value not of the correct type. (kMIDIWrongPropertyType)"},
    {-10837, StatusCase::noCurrentSetup,
     "Internal error; there is no current MIDI setup object. (kMIDINoCurrentSetup)"},
    {-10838, StatusCase::messageSendErr,
     "Communication with MIDIServer failed. (kMIDIMessageSendErr)"},
    {-10839, StatusCase::serverStartErr, "Unable to start MIDIServer. (kMIDIServerStartErr)"},
    {-10840, StatusCase::setupFormatErr, "Unable to read the saved state. (kMIDISetupFormatErr)"},
    {-10841, StatusCase::wrongThread,
     "A driver is calling a non-I/O function in the server from a thread other than the "
     "server's main thread. (kMIDIWrongThread)"},
    {-10842, StatusCase::objectNotFound,
     "The requested object does not exist. (kMIDIObjectNotFound)"},
    {-10843, StatusCase::idNotUnique,
     "Attempt to set a non-unique kMIDIPropertyUniqueID on an object. (kMIDIIDNotUnique)"},
    {-10844, StatusCase::notPermitted,
     "The process does not have privileges for the requested operation. (kMIDINotPermitted)"},
    {-10845, StatusCase::unknownError,
     "Internal error; unable to perform the requested operation. (kMIDIUnknownError)"},
    {7, StatusCase::ioError, "I/O Error. (kMIDIMsgIOError)"},
    {-50, StatusCase::internalError, "Internal OSStatus error -50."},
};

TEST(MIDIOSStatusTest, NamedCodesMapBothWays) {
    std::unordered_set<size_t> hashes;
    for (const StatusRow& row : statusRows) {
        const MIDIOSStatus status = MIDIOSStatus::fromRawValue(row.code);
        EXPECT_EQ(status.statusCase(), row.statusCase) << row.code;
        EXPECT_EQ(status, MIDIOSStatus(row.statusCase));
        EXPECT_EQ(status.rawValue(), row.code);
        EXPECT_EQ(status.description(), row.text);
        hashes.insert(status.hash());
    }
    EXPECT_EQ(hashes.size(), std::size(statusRows));
}

TEST(MIDIOSStatusTest, EveryOtherCodeIsKeptAsOther) {
    for (OSStatus code : {-10829, -10846, 0, -1, 6, 8, -49, INT32_MIN, INT32_MAX}) {
        const MIDIOSStatus status = MIDIOSStatus::fromRawValue(code);
        EXPECT_EQ(status.statusCase(), StatusCase::other) << code;
        EXPECT_EQ(status.rawValue(), code);
        EXPECT_EQ(status, MIDIOSStatus::other(code));
    }
    EXPECT_EQ(MIDIOSStatus::other(-1).description(), "Unknown OSStatus error: -1");
    EXPECT_EQ(MIDIOSStatus::other(INT32_MIN).description(), "Unknown OSStatus error: -2147483648");
    // An `other` value holding a named code keeps that code but is not the named case.
    EXPECT_EQ(MIDIOSStatus::other(-10830).rawValue(), -10830);
    EXPECT_NE(MIDIOSStatus::other(-10830), MIDIOSStatus(StatusCase::invalidClient));
    EXPECT_NE(MIDIOSStatus::other(1), MIDIOSStatus::other(2));
    EXPECT_EQ(MIDIOSStatus(StatusCase::other), MIDIOSStatus::other(0));
    std::ostringstream text;
    text << MIDIOSStatus::other(5);
    EXPECT_EQ(text.str(), "Unknown OSStatus error: 5");
}

TEST(MIDIIOErrorTest, StatusChecksThrowTheMappedStatus) {
    EXPECT_NO_THROW(throwIfOSStatusErr(midiservices::noErr));
    try {
        throwIfOSStatusErr(-10842);
        FAIL() << "no error thrown";
    } catch (const MIDIIOError& error) {
        EXPECT_EQ(error.errorCase(), MIDIIOError::Case::osStatus);
        EXPECT_EQ(error.status(), MIDIOSStatus(StatusCase::objectNotFound));
        EXPECT_STREQ(error.what(), "The requested object does not exist. (kMIDIObjectNotFound)");
        EXPECT_EQ(error.description(), error.what());
    }
    try {
        throwIfOSStatusErr(-1);
        FAIL() << "no error thrown";
    } catch (const MIDIIOError& error) {
        EXPECT_STREQ(error.what(), "Unknown OSStatus error: -1");
    }
}

TEST(MIDIIOErrorTest, EqualityAndHashingFollowCaseAndPayload) {
    const MIDIIOError abc = MIDIIOError::malformed("abc");
    EXPECT_EQ(abc.errorCase(), MIDIIOError::Case::malformed);
    EXPECT_STREQ(abc.what(), "abc");
    EXPECT_EQ(abc.status(), std::nullopt);
    EXPECT_EQ(abc, MIDIIOError::malformed("abc"));
    EXPECT_EQ(abc.hash(), MIDIIOError::malformed("abc").hash());
    EXPECT_NE(abc, MIDIIOError::readError("abc"));
    EXPECT_NE(abc, MIDIIOError::malformed("abd"));
    EXPECT_NE(abc.hash(), MIDIIOError::readError("abc").hash());
    EXPECT_EQ(MIDIIOError::fromOSStatus(7), MIDIIOError::osStatus(StatusCase::ioError));
    EXPECT_NE(MIDIIOError::fromOSStatus(7), MIDIIOError::osStatus(MIDIOSStatus::other(7)));
    // A string case never equals the status case, even with the status's sentence.
    EXPECT_NE(MIDIIOError::readError("I/O Error. (kMIDIMsgIOError)"), MIDIIOError::fromOSStatus(7));
    const struct {
        MIDIIOError error;
        MIDIIOError::Case expected;
    } cases[] = {
        {MIDIIOError::internalInconsistency("x"), MIDIIOError::Case::internalInconsistency},
        {MIDIIOError::notSupported("x"), MIDIIOError::Case::notSupported},
        {MIDIIOError::connectionError("x"), MIDIIOError::Case::connectionError},
        {MIDIIOError::readError("x"), MIDIIOError::Case::readError},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.errorCase(), c.expected);
        EXPECT_STREQ(c.error.what(), "x");
    }
}

TEST(MIDIProtocolVersionTest, Describes) {
    EXPECT_EQ(description(MIDIProtocolVersion::_1_0), "MIDI 1.0");
    EXPECT_EQ(description(MIDIProtocolVersion::_2_0), "MIDI 2.0");
}

TEST(MIDIEventParseErrorTest, ComparesByCaseAndCarriesASentence) {
    using Case = MIDIEventParseError::Case;
    const MIDIEventParseError malformed(Case::malformed);
    EXPECT_EQ(malformed, MIDIEventParseError(Case::malformed, "The manufacturer ID is cut off."));
    EXPECT_NE(malformed, MIDIEventParseError(Case::rawBytesEmpty));
    EXPECT_NE(malformed.hash(), MIDIEventParseError(Case::rawBytesEmpty).hash());
    EXPECT_STREQ(MIDIEventParseError(Case::rawBytesEmpty).what(), "No raw bytes were given.");
    EXPECT_STREQ(malformed.what(), "The raw bytes are malformed.");
    EXPECT_STREQ(MIDIEventParseError(Case::invalidType).what(),
                 "The raw bytes are of an invalid type.");
}

TEST(UMPFieldTest, RawValuesMapToCasesAndNothingElse) {
    EXPECT_EQ(fromRawValue<MIDIUMPMessageType>(UInt4(6)), std::nullopt);
    EXPECT_EQ(fromRawValue<MIDIUMPMessageType>(UInt4(5)), MIDIUMPMessageType::data128bit);
    EXPECT_EQ(fromRawValue<MIDIUMPMixedDataSetStatusField>(UInt4(0)), std::nullopt);
    EXPECT_EQ(fromRawValue<MIDIUMPMixedDataSetStatusField>(UInt4(9)),
              MIDIUMPMixedDataSetStatusField::payload);
    EXPECT_EQ(fromRawValue<MIDIUMPSysExStatusField>(UInt4(2)), MIDIUMPSysExStatusField::continue_);
    EXPECT_EQ(fromRawValue<MIDIUMPUtilityStatusField>(UInt4(3)), std::nullopt);
    EXPECT_EQ(rawValue(MIDIUMPUtilityStatusField::jrTimestamp), UInt4(2));

    // Every raw value 0...15 maps to at most one case, and back to itself.
    auto roundTrips = [](auto field) {
        using Field = decltype(field);
        int found = 0;
        for (int raw = 0; raw < 16; ++raw) {
            const auto parsed = fromRawValue<Field>(UInt4(raw));
            if (!parsed) continue;
            ++found;
            EXPECT_EQ(rawValue(*parsed), raw);
        }
        return found;
    };
    EXPECT_EQ(roundTrips(MIDIUMPMessageType{}), 6);
    EXPECT_EQ(roundTrips(MIDIUMPSysExStatusField{}), 4);
    EXPECT_EQ(roundTrips(MIDIUMPMixedDataSetStatusField{}), 2);
    EXPECT_EQ(roundTrips(MIDIUMPUtilityStatusField{}), 3);
}

TEST(UMPFieldTest, MessageTypeAndGroupShareTheFirstByte) {
    const uint8_t typeAndGroup =
        umpMessageTypeAndGroup(MIDIUMPMessageType::systemRealTimeAndCommon, UInt4(2));
    EXPECT_EQ(typeAndGroup, 0x12);
    // A timing clock (status 0xF8) in group 2.
    EXPECT_EQ(uInt32FromBytes(typeAndGroup, 0xF8, 0, 0), 0x12F80000u);
    EXPECT_EQ(umpMessageTypeAndGroup(MIDIUMPMessageType::data128bit, UInt4(15)), 0x5F);
}

}  // namespace
}  // namespace midicore
