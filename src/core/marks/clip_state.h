#pragma once

#include "core/base/title.h"

#include <cstdint>
#include <optional>
#include <string>

namespace parvane {

// What the main window remembers between handlers, for the life of the window.
struct ClipState {
    std::int32_t clipBegin = 0; // whole seconds
    std::int32_t clipEnd = 0;   // whole seconds
    std::string sourcePath;     // exactly as the open dialog returned it
    // The name the next open or save dialog starts with: emptied by an open, and the
    // destination after a save that completed.
    std::string dialogFileName;
    // The DVD title being played when the source is a disc; its bytes are then the
    // source's, its timeline the marks'.
    std::optional<Title> title{};
    // The same marks to the picture: the time of the picture on screen when each was set.
    double beginSeconds = 0;
    double endSeconds = 0;

    // Strict and ordered: equal marks or a begin after the end are not a selection.
    bool selectionValid() const { return clipBegin < clipEnd; }
};

} // namespace parvane
