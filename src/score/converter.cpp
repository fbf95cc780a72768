#include "score/converter.hpp"

namespace score {

void MusicConverter::convert(const std::filesystem::path&) {}

void MusicConverter::convertToJps(const std::filesystem::path& url) {
    convert(url);
    auto info = std::make_shared<JPSInfo>(beatsPerMeasure, beatType);
    jpsData_.set(std::make_shared<JPSData>(std::move(info), noteObjects, tempoObjects,
                                           dynamicsObjects, std::vector<SectionRef>{}));
}

}  // namespace score
