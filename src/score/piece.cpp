#include "score/piece.hpp"

#include "score/json.hpp"

namespace score {

namespace {

// Writes each record of `list` as an object; a missing record has no JSON form.
template <class Record>
void encodeList(JSONWriter& writer, const char* key,
                const std::vector<std::shared_ptr<Record>>& list) {
    writer.key(key);
    writer.beginArray();
    for (size_t i = 0; i < list.size(); ++i) {
        if (!list[i])
            throw JSONEncodingError(
                JSONEncodingError::Case::invalidValue,
                std::string("The piece has no record at ") + key + "[" + std::to_string(i) + "].");
        list[i]->encode(writer);
    }
    writer.endArray();
}

}  // namespace

void JPSInfo::encode(JSONWriter& writer) const {
    writer.beginObject();
    writer.key("beatsPerMeasure");
    writer.value(beatsPerMeasure);
    writer.key("beatType");
    writer.value(beatType);
    writer.endObject();
}

void NoteObject::encode(JSONWriter& writer) const {
    writer.beginObject();
    writer.key("start");
    writer.value(start);
    writer.key("note");
    writer.value(note);
    writer.key("duration");
    writer.value(duration);
    writer.key("staff");
    writer.value(staff);
    // Absent optionals are left out entirely: no key, no null.
    if (finger) {
        writer.key("finger");
        writer.value(*finger);
    }
    if (accent) {
        writer.key("accent");
        writer.value(std::string_view(*accent));
    }
    if (decoration) {
        writer.key("decoration");
        writer.value(std::string_view(*decoration));
    }
    writer.endObject();
}

void TempoObject::encode(JSONWriter& writer) const {
    writer.beginObject();
    writer.key("start");
    writer.value(start);
    writer.key("qnpm");
    writer.value(qnpm);
    writer.key("bpm");
    writer.value(bpm);
    writer.endObject();
}

void DynamicsObject::encode(JSONWriter& writer) const {
    writer.beginObject();
    writer.key("start");
    writer.value(start);
    writer.key("dynamics");
    writer.value(dynamics);
    writer.endObject();
}

void SectionObject::encode(JSONWriter& writer) const {
    writer.beginObject();
    writer.key("start");
    writer.value(start);
    writer.key("title");
    writer.value(std::string_view(title));
    writer.endObject();
}

void JPSData::encode(JSONWriter& writer) const {
    writer.beginObject();
    writer.key("info");
    if (!info)
        throw JSONEncodingError(JSONEncodingError::Case::invalidValue,
                                "The piece has no info record.");
    info->encode(writer);
    encodeList(writer, "notes", notes);
    encodeList(writer, "tempos", tempos);
    encodeList(writer, "dynamics", dynamics);
    encodeList(writer, "sections", sections);
    writer.endObject();
}

std::string JPSData::json() const {
    JSONWriter writer;
    encode(writer);
    return writer.finish();
}

}  // namespace score
