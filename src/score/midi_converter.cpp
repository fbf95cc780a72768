#include "score/midi_converter.hpp"

#include <memory>

namespace score {

void JpsMidiConverter::convert(const std::filesystem::path& url) {
    beatsPerMeasure = 4;
    beatType = 4;
    noteEvents.assign(TotalKeyCount, std::nullopt);
    midiFile = midifile::MIDIFile::fromPath(url);
    readTracks();
    if (tempoObjects.empty()) tempoObjects.push_back(std::make_shared<TempoObject>(0, 120.0f, 30.0f));
    dynamicsObjects.push_back(std::make_shared<DynamicsObject>(0, 60.0f));
}

void JpsMidiConverter::readTracks() {
    if (!midiFile) throw JpsConversionError::conversionError("Could not read MIDI file");
    noteObjects.clear();
}

}  // namespace score
