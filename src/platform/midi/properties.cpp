#include "midiservices/properties.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace midiservices {

namespace {

using Type = MIDIPropertyKeyType;

const std::vector<std::pair<std::string_view, Type>>& keyTable() {
    static const std::vector<std::pair<std::string_view, Type>> table = {
        {kMIDIPropertyName, Type::string},
        {kMIDIPropertyModel, Type::string},
        {kMIDIPropertyManufacturer, Type::string},
        {kMIDIPropertyUniqueID, Type::integer},
        {kMIDIPropertyDeviceID, Type::integer},
        {kMIDIPropertySupportsMMC, Type::integer},
        {kMIDIPropertySupportsGeneralMIDI, Type::integer},
        {kMIDIPropertySupportsShowControl, Type::integer},
        {kMIDIPropertyNameConfigurationDictionary, Type::dictionary},
        {kMIDIPropertyMaxSysExSpeed, Type::integer},
        {kMIDIPropertyDriverDeviceEditorApp, Type::string},
        {kMIDIPropertyImage, Type::string},
        {kMIDIPropertyDisplayName, Type::string},
        {kMIDIPropertyPanDisruptsStereo, Type::integer},
        {kMIDIPropertyProtocolID, Type::integer},
        {kMIDIPropertyTransmitsMTC, Type::integer},
        {kMIDIPropertyReceivesMTC, Type::integer},
        {kMIDIPropertyTransmitsClock, Type::integer},
        {kMIDIPropertyReceivesClock, Type::integer},
        {kMIDIPropertyAdvanceScheduleTimeMuSec, Type::integer},
        {kMIDIPropertyIsMixer, Type::integer},
        {kMIDIPropertyIsSampler, Type::integer},
        {kMIDIPropertyIsEffectUnit, Type::integer},
        {kMIDIPropertyIsDrumMachine, Type::integer},
        {kMIDIPropertyOffline, Type::integer},
        {kMIDIPropertyPrivate, Type::integer},
        {kMIDIPropertyDriverOwner, Type::string},
        {kMIDIPropertyDriverVersion, Type::integer},
        {kMIDIPropertyCanRoute, Type::integer},
        {kMIDIPropertyIsBroadcast, Type::integer},
        {kMIDIPropertyConnectionUniqueID, Type::integer},
        {kMIDIPropertyIsEmbeddedEntity, Type::integer},
        {kMIDIPropertySingleRealtimeEntity, Type::integer},
        {kMIDIPropertyReceiveChannels, Type::integer},
        {kMIDIPropertyTransmitChannels, Type::integer},
        {kMIDIPropertyMaxReceiveChannels, Type::integer},
        {kMIDIPropertyMaxTransmitChannels, Type::integer},
        {kMIDIPropertyReceivesBankSelectLSB, Type::integer},
        {kMIDIPropertyReceivesBankSelectMSB, Type::integer},
        {kMIDIPropertyTransmitsBankSelectLSB, Type::integer},
        {kMIDIPropertyTransmitsBankSelectMSB, Type::integer},
        {kMIDIPropertyReceivesNotes, Type::integer},
        {kMIDIPropertyTransmitsNotes, Type::integer},
        {kMIDIPropertyReceivesProgramChanges, Type::integer},
        {kMIDIPropertyTransmitsProgramChanges, Type::integer},
    };
    return table;
}

void appendQuoted(std::string& out, const std::string& text) {
    out += '"';
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
}

}  // namespace

std::optional<MIDIPropertyKeyType> MIDIPropertyKeyTypeOf(std::string_view key) {
    const auto& table = keyTable();
    auto it =
        std::find_if(table.begin(), table.end(), [&](const auto& e) { return e.first == key; });
    if (it == table.end()) return std::nullopt;
    return it->second;
}

const std::vector<std::string_view>& MIDIKnownPropertyKeys() {
    static const std::vector<std::string_view> keys = [] {
        std::vector<std::string_view> all;
        for (const auto& entry : keyTable())
            all.push_back(entry.first);
        return all;
    }();
    return keys;
}

std::string MIDIPropertyList::description() const {
    if (const int64_t* i = asInteger()) return std::to_string(*i);
    if (const double* d = asReal()) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.17g", *d);
        return buffer;
    }
    if (const bool* b = asBoolean()) return *b ? "true" : "false";
    std::string out;
    if (const std::string* s = asString()) {
        appendQuoted(out, *s);
    } else if (const Array* a = asArray()) {
        out.push_back('(');
        for (size_t i = 0; i < a->size(); ++i) {
            if (i > 0) out.append(", ");
            out.append((*a)[i].description());
        }
        out.push_back(')');
    } else {
        out = MIDIDictionaryDescription(*asDictionary());
    }
    return out;
}

std::string MIDIDictionaryDescription(const MIDIDictionary& dictionary) {
    std::string out(1, '{');
    for (const auto& [key, value] : dictionary) {
        appendQuoted(out, key);
        out.append(" = ");
        out.append(value.description());
        out.append("; ");
    }
    if (!dictionary.empty()) out.pop_back();
    out.push_back('}');
    return out;
}

}  // namespace midiservices
