#pragma once

#include "core/base/title.h"

#include <optional>
#include <string>

namespace parvane {

// Tells a DVD from a plain file and reads a DVD's titles, chapters and cells.
class DiscReader {
public:
    virtual ~DiscReader() = default;

    // The disc at `path`: a VIDEO_TS folder or the folder above it, VIDEO_TS.IFO, a
    // VTS_nn_0.IFO, an ISO image, or a VOB of a title set. Nothing when the path is no
    // part of a DVD, so it opens as a plain file. Throws FileError with a short reason
    // for the user when it is a DVD that cannot be read (encrypted, damaged).
    virtual std::optional<Disc> read(const std::string& path) const = 0;
};

} // namespace parvane
