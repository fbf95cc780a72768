// The piece document that every converter produces and that the companion uploads to the headset:
// the time signature, the notes, tempo marks, dynamics marks and sections of one piece.
//
// Records are reference objects held through std::shared_ptr. A converter keeps references to the
// notes it has appended and changes them later (a tied note's duration grows, a pickup bar shifts
// every start), and one note can sit in several lists at once; the document holds those very
// objects, so what it encodes is their state at encoding time.
//
// Times are ticks: 44100 to a quarter note, counted from the start of the piece. Note numbers are
// 12 × octave + semitone (middle C is 48). Staff numbers count from 0.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace score {

class JSONWriter;

// Ticks per quarter note of every piece time.
inline constexpr int64_t ticksPerQuarterNote = 44100;

class JPSInfo {
  public:
    JPSInfo() = default;
    JPSInfo(int64_t beatsPerMeasure, int64_t beatType)
        : beatsPerMeasure(beatsPerMeasure), beatType(beatType) {}

    // Time signature numerator and denominator; 0 when the score has none.
    int64_t beatsPerMeasure = 0;
    int64_t beatType = 0;

    void encode(JSONWriter& writer) const;
};

class NoteObject {
  public:
    NoteObject() = default;
    NoteObject(int64_t start, int64_t note, int64_t duration, int64_t staff)
        : start(start), note(note), duration(duration), staff(staff) {}

    int64_t start = 0;     // onset in ticks
    int64_t note = 0;      // pitch number, middle C = 48
    int64_t duration = 0;  // ticks; 0 for a grace note; a tie chain's summed length
    int64_t staff = 0;     // from 0
    std::optional<int64_t> finger;
    std::optional<std::string> accent;
    std::optional<std::string> decoration;

    void encode(JSONWriter& writer) const;
};

class TempoObject {
  public:
    TempoObject() = default;
    TempoObject(int64_t start, float qnpm, float bpm) : start(start), qnpm(qnpm), bpm(bpm) {}

    int64_t start = 0;
    float qnpm = 0;  // quarter notes per minute
    float bpm = 0;   // qnpm divided by the quarter notes of one measure

    void encode(JSONWriter& writer) const;
};

class DynamicsObject {
  public:
    DynamicsObject() = default;
    DynamicsObject(int64_t start, float dynamics) : start(start), dynamics(dynamics) {}

    int64_t start = 0;
    float dynamics = 0;  // loudness level; 60 by default

    void encode(JSONWriter& writer) const;
};

class SectionObject {
  public:
    SectionObject() = default;
    SectionObject(int64_t start, std::string title) : start(start), title(std::move(title)) {}

    int64_t start = 0;
    std::string title;

    void encode(JSONWriter& writer) const;
};

using NoteRef = std::shared_ptr<NoteObject>;
using TempoRef = std::shared_ptr<TempoObject>;
using DynamicsRef = std::shared_ptr<DynamicsObject>;
using SectionRef = std::shared_ptr<SectionObject>;

class JPSData {
  public:
    JPSData() : info(std::make_shared<JPSInfo>()) {}
    JPSData(std::shared_ptr<JPSInfo> info, std::vector<NoteRef> notes, std::vector<TempoRef> tempos,
            std::vector<DynamicsRef> dynamics, std::vector<SectionRef> sections)
        : info(std::move(info)),
          notes(std::move(notes)),
          tempos(std::move(tempos)),
          dynamics(std::move(dynamics)),
          sections(std::move(sections)) {}

    std::shared_ptr<JPSInfo> info;
    std::vector<NoteRef> notes;
    std::vector<TempoRef> tempos;
    std::vector<DynamicsRef> dynamics;
    std::vector<SectionRef> sections;  // the converters leave it empty

    // Writes the keys "info", "notes", "tempos", "dynamics", "sections" in this order. A null
    // record is refused with a JSONEncodingError.
    void encode(JSONWriter& writer) const;

    // The document as pretty-printed UTF-8 JSON (see JSONWriter). Throws JSONEncodingError, and
    // then nothing has been produced, when a value has no JSON form.
    std::string json() const;
};

}  // namespace score
