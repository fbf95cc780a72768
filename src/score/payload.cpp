#include "score/payload.hpp"

namespace score {

std::string pieceFileName(const std::filesystem::path& scoreFile) {
    // stem() drops the last extension only, and keeps a leading-dot name such as ".mxl" whole.
    return scoreFile.filename().stem().string() + ".jps";
}

std::string uploadPayload(const std::filesystem::path& scoreFile, const JPSData& piece) {
    std::string json = piece.json();
    return pieceFileName(scoreFile) + '\n' + json;
}

}  // namespace score
