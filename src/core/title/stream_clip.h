#pragma once

#include "core/base/title.h"

#include <optional>
#include <string>
#include <utility>

namespace parvane {

class FileSystem;
class NavPackReader;

// Where a clip saved at stream times would really begin and end, in the player's seconds:
// the start of the picture group its begin mark snaps back to and the end of the group that
// shows its end mark, found by the stream range finder. The marks are those of the plain
// file at `path`, or of `title` when one is open: each mark is then found in its cell, whose
// clock is its own, and placed back on the title's timeline. Reads at most the finder's
// limit per mark. Nothing when the finder cannot tell; the save then says why.
std::optional<std::pair<double, double>>
streamClipTimes(FileSystem& files, const NavPackReader* navPacks, const std::string& path,
                const std::optional<Title>& title, double begin, double end);

} // namespace parvane
