// A large score made on the fly, and the process's resident memory, for tests and benchmarks of
// what one upload costs.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <fstream>
#include <string>

namespace companion::testing {

// The process's resident memory in bytes.
inline size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    size_t total = 0, resident = 0;
    statm >> total >> resident;
    return resident * static_cast<size_t>(::sysconf(_SC_PAGESIZE));
}

// A piano piece of `measures` measures of 4/4 in MusicXML: three-note chords in quarters on the
// upper staff, half notes on the lower one, a dynamic every fourth measure and a tempo every
// sixteenth.
inline std::string largePianoScore(int measures) {
    static const char* steps[] = {"C", "D", "E", "F", "G", "A", "B"};
    static const char* dynamics[] = {"p", "mf", "f", "mp"};
    auto note = [](const char* step, int octave, int duration, const char* type, int voice,
                   int staff, bool chord) {
        return std::string("<note>") + (chord ? "<chord/>" : "") + "<pitch><step>" + step +
               "</step><octave>" + std::to_string(octave) + "</octave></pitch><duration>" +
               std::to_string(duration) + "</duration><voice>" + std::to_string(voice) +
               "</voice><type>" + type + "</type><staff>" + std::to_string(staff) +
               "</staff></note>";
    };
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><score-partwise version=\"3.1\"><part-list>"
        "<score-part id=\"P1\"><part-name>Piano</part-name></score-part></part-list>"
        "<part id=\"P1\">";
    for (int m = 1; m <= measures; ++m) {
        text += "<measure number=\"" + std::to_string(m) + "\">";
        if (m == 1)
            text +=
                "<attributes><divisions>2</divisions><key><fifths>0</fifths></key><time><beats>4"
                "</beats><beat-type>4</beat-type></time><staves>2</staves><clef number=\"1\">"
                "<sign>G</sign><line>2</line></clef><clef number=\"2\"><sign>F</sign><line>4"
                "</line></clef></attributes>";
        if (m % 4 == 1)
            text += std::string("<direction placement=\"below\"><direction-type><dynamics><") +
                    dynamics[(m / 4) % 4] + "/></dynamics></direction-type><sound dynamics=\"" +
                    std::to_string(50 + (m / 4) % 4 * 10) + "\"/></direction>";
        if (m % 16 == 1)
            text += "<direction><direction-type><metronome><beat-unit>quarter</beat-unit>"
                    "<per-minute>" +
                    std::to_string(90 + m % 30) + "</per-minute></metronome></direction-type>"
                    "<sound tempo=\"" + std::to_string(90 + m % 30) + "\"/></direction>";
        for (int beat = 0; beat < 4; ++beat)
            for (int tone = 0; tone < 3; ++tone)
                text += note(steps[(m + beat + 2 * tone) % 7], 5, 2, "quarter", 1, 1, tone > 0);
        text += "<backup><duration>8</duration></backup>";
        for (int half = 0; half < 2; ++half)
            text += note(steps[(m + 3 * half) % 7], 3, 4, "half", 2, 2, false);
        text += "</measure>";
    }
    return text + "</part></score-partwise>";
}

}  // namespace companion::testing
