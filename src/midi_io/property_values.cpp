// The readers behind the property getters and the property texts.
#include <cstdio>

#include "midi_io/object_interface.hpp"
#include "midi_io/object_model.hpp"
#include "midi_support/number_text.hpp"
#include "midiservices/services.hpp"

namespace midiio::detail {

namespace ms = midiservices;
using P = MIDIIOObjectProperty;

std::optional<std::string> readString(uint32_t ref, std::string_view key) {
    if (key.empty()) return std::nullopt;
    std::string value;
    if (ms::MIDIObjectGetStringProperty(ref, key, &value) != ms::noErr) return std::nullopt;
    return value;
}

int32_t readInteger(uint32_t ref, std::string_view key) {
    int32_t value = 0;
    if (!key.empty()) ms::MIDIObjectGetIntegerProperty(ref, key, &value);
    return value;
}

bool readFlag(uint32_t ref, std::string_view key) {
    return readInteger(ref, key) == 1;
}

std::optional<std::filesystem::path> readFileURL(uint32_t ref, std::string_view key) {
    const auto text = readString(ref, key);
    if (!text || text->empty()) return std::nullopt;
    // A relative path is taken against the current directory, as a file URL made from a path is.
    std::error_code error;
    auto path = std::filesystem::absolute(std::filesystem::path(*text), error);
    if (error) return std::filesystem::path(*text);
    return path;
}

std::optional<ms::MIDIDictionary> readDictionary(uint32_t ref, std::string_view key) {
    if (key.empty()) return std::nullopt;
    ms::MIDIDictionary value;
    if (ms::MIDIObjectGetDictionaryProperty(ref, key, &value) != ms::noErr) return std::nullopt;
    return value;
}

std::optional<MIDIImage> readImage(uint32_t ref) {
    const auto path = readFileURL(ref, ms::kMIDIPropertyImage);
    if (!path) return std::nullopt;
    return MIDIImage::load(*path);
}

std::optional<midicore::MIDIProtocolVersion> readProtocol(uint32_t ref) {
    const auto key = properties::coreMIDIKey(P::protocolID);
    if (key.empty()) return std::nullopt;
    int32_t value = 0;
    if (ms::MIDIObjectGetIntegerProperty(ref, key, &value) != ms::noErr) return std::nullopt;
    switch (value) {
        case 1:
            return midicore::MIDIProtocolVersion::_1_0;
        case 2:
            return midicore::MIDIProtocolVersion::_2_0;
        default:
            return std::nullopt;
    }
}

namespace {

// The absolute string of a file URL: "file://" and the path, each byte outside the unreserved
// characters and "/" percent-encoded.
std::string fileURLString(const std::filesystem::path& path) {
    std::string text = "file://";
    for (const unsigned char c : path.string()) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           c == '/';
        if (plain) {
            text += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            text += escaped;
        }
    }
    return text;
}

enum class Kind { text, integer, channels, flag, fileURL, dictionary, protocol };

Kind kindOf(P p) {
    switch (p) {
        case P::name:
        case P::model:
        case P::manufacturer:
        case P::displayName:
        case P::driverOwner:
            return Kind::text;
        case P::uniqueID:
        case P::deviceID:
        case P::maxSysExSpeed:
        case P::driverVersion:
        case P::connectionUniqueID:
        case P::singleRealtimeEntity:
        case P::maxReceiveChannels:
        case P::maxTransmitChannels:
        case P::advanceScheduleTimeMuSec:
            return Kind::integer;
        case P::receiveChannels:
        case P::transmitChannels:
            return Kind::channels;
        case P::driverDeviceEditorApp:
        case P::image:
            return Kind::fileURL;
        case P::nameConfigurationDictionary:
            return Kind::dictionary;
        case P::protocolID:
            return Kind::protocol;
        default:
            return Kind::flag;
    }
}

}  // namespace

std::string propertyStringValue(uint32_t ref, MIDIIOObjectProperty property) {
    const auto key = properties::coreMIDIKey(property);
    switch (kindOf(property)) {
        case Kind::text:
            return readString(ref, key).value_or("-");
        case Kind::integer:
            return std::to_string(readInteger(ref, key));
        case Kind::channels:
            return midisupport::binaryString(readInteger(ref, key), 8, true);
        case Kind::flag:
            return readFlag(ref, key) ? "Yes" : "No";
        case Kind::fileURL: {
            const auto path = readFileURL(ref, key);
            return path ? fileURLString(*path) : "-";
        }
        case Kind::dictionary: {
            if (key.empty())
                return "OS not supported. Requires macOS 10.15, macCatalyst 13.0, or iOS 13.0.";
            const auto dictionary = readDictionary(ref, key);
            return dictionary ? ms::MIDIDictionaryDescription(*dictionary) : "-";
        }
        case Kind::protocol: {
            if (key.empty())
                return "OS not supported. Requires macOS 11.0, macCatalyst 14.0, or iOS 14.0.";
            const auto protocol = readProtocol(ref);
            return protocol ? midicore::description(*protocol) : "-";
        }
    }
    return "-";
}

std::vector<MIDIPropertyStringValue> propertyStringValues(uint32_t ref, MIDIIOObjectType type,
                                                          bool relevantOnly) {
    std::vector<MIDIPropertyStringValue> lines;
    const auto list =
        relevantOnly ? properties::relevantProperties(type)
                     : std::vector<P>(properties::allCases().begin(), properties::allCases().end());
    lines.reserve(list.size());
    for (const auto p : list)
        lines.push_back({std::string(properties::displayName(p)), propertyStringValue(ref, p)});
    return lines;
}

}  // namespace midiio::detail
