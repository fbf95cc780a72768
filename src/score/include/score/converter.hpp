// The converter base shared by the score converters, and the errors of a conversion.
//
//     JpsMusicXmlConverter converter;             // a fresh converter for every conversion
//     converter.convertToJps("Etude.musicxml");   // throws on failure
//     std::shared_ptr<JPSData> piece = converter.jpsData();
//
// A subclass supplies the conversion step, convert(url), which fills the lists below;
// convertToJps() then makes the piece document from them and publishes it. A converter is meant
// for one conversion: its lists are not cleared when another conversion starts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "observe/observe.hpp"
#include "score/piece.hpp"

namespace score {

// A score the converters cannot convert; what() is the sentence the companion shows the user.
class JpsConversionError : public std::runtime_error {
  public:
    enum class Case { conversionError };

    static JpsConversionError conversionError(std::string message) {
        return JpsConversionError(Case::conversionError, std::move(message));
    }

    Case errorCase() const { return case_; }
    const std::string& message() const { return message_; }

  private:
    JpsConversionError(Case errorCase, std::string message)
        : std::runtime_error(message), case_(errorCase), message_(std::move(message)) {}

    Case case_;
    std::string message_;
};

// A score file that cannot be read as text. what() is a complete sentence naming the file.
class ScoreFileError : public std::runtime_error {
  public:
    enum class Case {
        unreadable,       // cannot be opened or read
        invalidEncoding,  // not valid UTF-8 (or UTF-16 after a byte-order mark)
    };

    ScoreFileError(Case errorCase, const std::string& message)
        : std::runtime_error(message), case_(errorCase) {}
    Case errorCase() const { return case_; }

  private:
    Case case_;
};

class MusicConverter {
  public:
    MusicConverter() = default;
    virtual ~MusicConverter() = default;
    MusicConverter(const MusicConverter&) = delete;
    MusicConverter& operator=(const MusicConverter&) = delete;

    // Runs convert(url); on success makes a JPSData from the time signature and the lists (the
    // same record objects, no copies; no sections) and publishes it in jpsData. An error of
    // convert() is passed on and jpsData keeps its previous value.
    void convertToJps(const std::filesystem::path& url);

    // The conversion step. The base version does nothing.
    virtual void convert(const std::filesystem::path& url);

    // The document of the last successful conversion; null before.
    std::shared_ptr<JPSData> jpsData() const { return jpsData_.get(); }
    // The published document: subscribers are called with every new document.
    observe::Published<std::shared_ptr<JPSData>>& jpsDataPublisher() { return jpsData_; }

    int64_t beatsPerMeasure = 0;
    int64_t beatType = 0;
    std::vector<NoteRef> noteObjects;
    std::vector<DynamicsRef> dynamicsObjects;
    std::vector<TempoRef> tempoObjects;

  private:
    observe::Published<std::shared_ptr<JPSData>> jpsData_;
};

}  // namespace score
