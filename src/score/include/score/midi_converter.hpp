// The converter of Standard MIDI Files. It reads the file and makes a piece in 4/4 with the
// default tempo (120 quarter notes per minute) and dynamics (60); it does not turn the file's
// notes into piece notes.
//
//     JpsMidiConverter converter;
//     converter.convertToJps("song.mid");   // throws the file's read or decode error
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "midi_file/midi_file.hpp"
#include "score/converter.hpp"

namespace score {

class JpsMidiConverter : public MusicConverter {
  public:
    // One slot of noteEvents per MIDI key.
    static constexpr int64_t TotalKeyCount = 128;
    // Piece ticks per quarter note; the conversion does not use it.
    static constexpr int64_t SampleRate = 44100;

    // A held note: its key and when it started.
    struct NoteEvent {
        int64_t note = 0;
        int64_t deltaTime = 0;
    };

    // Reads the file (its MIDIFileDecodeError is passed on and midiFile keeps its value), then
    // the tracks, and adds the default tempo when there is none and the default dynamics.
    void convert(const std::filesystem::path& url) override;
    // Throws conversionError "Could not read MIDI file" when no file was read; empties the note
    // list.
    virtual void readTracks();

    // The file read by the last conversion; none before.
    std::optional<midifile::MIDIFile> midiFile;
    std::vector<std::optional<midifile::MIDIFileEvent>> noteEvents;
};

}  // namespace score
