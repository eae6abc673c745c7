#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace parvane {

class DiscReader;
class FileSystem;
class NavPackReader;
class PictureCodec;

// What parvane-cut works with.
struct CutEnvironment {
    FileSystem& files;
    const NavPackReader* navPacks = nullptr; // null: picture groups from the video alone
    const DiscReader* discs = nullptr;       // null: every source is a plain file
    PictureCodec* codec = nullptr;           // null: no frame-exact clips
    std::ostream& out;
    std::ostream& err;
    bool progressMeter = false; // a one-line meter on `err`, for a terminal
    std::string version;
};

// parvane-cut SOURCE DEST (--from TIME --to TIME | --chapters A-B) [--title N]
// [--by stream|exact|bytes] [--duration SECONDS] [--force], and parvane-cut --list SOURCE: the
// window's saves from the command line, with the same guarantees, from a plain VOB or a
// DVD's title. `args` come without the program's name. Returns the exit status: 0 when the
// clip was saved (or the titles listed), 1 when it was not (the reason on `err`), 2 for a
// usage error.
int runCut(const std::vector<std::string>& args, const CutEnvironment& environment);

} // namespace parvane
