// The upload payload that carries a piece to the headset: the score file's name without its last
// extension, then ".jps", a line feed and the piece's JSON.
#pragma once

#include <filesystem>
#include <string>

#include "score/piece.hpp"

namespace score {

// "Etude.musicxml" -> "Etude.jps"; "a.b.musicxml" -> "a.b.jps"; "Etude" -> "Etude.jps". Only the
// file name of `scoreFile` counts, not its folders.
std::string pieceFileName(const std::filesystem::path& scoreFile);

// pieceFileName(scoreFile) + "\n" + piece.json(). Throws JSONEncodingError, producing nothing,
// when the piece has no JSON form.
std::string uploadPayload(const std::filesystem::path& scoreFile, const JPSData& piece);

}  // namespace score
