// Small MusicXML builders for snippet-level tests of the converter.
#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "score/musicxml_converter.hpp"

namespace scoretest {

inline constexpr int64_t Q = 44100;  // ticks per quarter note

// A note element. `pitch` is a step, an optional '#' or 'b' and an octave ("C4", "F#3", "Bb2"),
// or "R" for a rest. A negative duration leaves the duration element out. `extra` is placed
// inside the note before the pitch (chord, grace, voice, staff, tie, notations...).
inline std::string N(const std::string& pitch, int64_t duration, const std::string& extra = "") {
    std::string out = "<note>" + extra;
    if (pitch == "R") {
        out += "<rest/>";
    } else {
        out += "<pitch><step>" + pitch.substr(0, 1) + "</step>";
        size_t octaveAt = 1;
        if (pitch.size() > 2 && (pitch[1] == '#' || pitch[1] == 'b')) {
            out += pitch[1] == '#' ? "<alter>1</alter>" : "<alter>-1</alter>";
            octaveAt = 2;
        }
        out += "<octave>" + pitch.substr(octaveAt) + "</octave></pitch>";
    }
    if (duration >= 0) out += "<duration>" + std::to_string(duration) + "</duration>";
    return out + "</note>";
}

inline std::string voice(int v) {
    return "<voice>" + std::to_string(v) + "</voice>";
}
inline std::string staff(int s) {
    return "<staff>" + std::to_string(s) + "</staff>";
}
inline const std::string chord = "<chord/>";
inline const std::string grace = "<grace/>";
inline const std::string arpeggiate = "<notations><arpeggiate/></notations>";
inline const std::string tieStart = "<tie type=\"start\"/>";
inline const std::string tieStop = "<tie type=\"stop\"/>";

// A beats/beat-type pair of a time element; `count` may be composite ("3+2").
inline std::string beats(const std::string& count, int64_t type) {
    return "<beats>" + count + "</beats><beat-type>" + std::to_string(type) + "</beat-type>";
}

// An attributes element with `divisions` and a time element holding `signature`.
inline std::string timeIn(int divisions, const std::string& signature) {
    return "<attributes><divisions>" + std::to_string(divisions) + "</divisions><time>" +
           signature + "</time></attributes>";
}

inline std::string attributes(int divisions, int count = 4, int beatType = 4) {
    return timeIn(divisions, beats(std::to_string(count), beatType));
}

inline std::string barline(const std::string& content) {
    return "<barline>" + content + "</barline>";
}
inline const std::string forwardRepeat = barline("<repeat direction=\"forward\"/>");
inline const std::string backwardRepeat = barline("<repeat direction=\"backward\"/>");

// The attribute that makes measure "0" a pickup bar.
inline const std::string pickup = " implicit=\"yes\"";

inline std::string measure(const std::string& number, const std::string& content,
                           const std::string& attributes = "") {
    return "<measure number=\"" + number + "\"" + attributes + ">" + content + "</measure>";
}

// A partwise score with one part holding `measures`.
inline std::string partwise(const std::string& measures) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<score-partwise version=\"3.1\"><part-list><score-part id=\"P1\"><part-name>Piano"
           "</part-name></score-part></part-list><part id=\"P1\">" +
           measures + "</part></score-partwise>";
}

using NoteTuple = std::tuple<int64_t, int64_t, int64_t, int64_t>;  // start, note, duration, staff

inline std::vector<NoteTuple> notesOf(const score::MusicConverter& converter) {
    std::vector<NoteTuple> out;
    for (const auto& n : converter.noteObjects)
        out.emplace_back(n->start, n->note, n->duration, n->staff);
    return out;
}

}  // namespace scoretest
