#pragma once

#include "core/base/title.h"

#include <optional>
#include <string>
#include <string_view>

namespace parvane {

// A disc's titles as bytes and back, for the reader's child process to hand them over.
// Decoding checks every length against what is there: nothing when the bytes are cut
// short or run on.
std::string encodeDisc(const Disc& disc);
std::optional<Disc> decodeDisc(std::string_view bytes);

} // namespace parvane
