#pragma once

#include "core/save/byte_copier.h"

#include <functional>
#include <string>
#include <vector>

namespace parvane {

class FileSystem;
class SourceFile;
struct Title;

// What a destination path means for a save that may go on.
enum class Destination {
    New,      // nothing there yet
    Existing, // a file the clip would replace: ask, or be told to, first
    Source,   // the source itself, by name or through another path to it: never written
};

// Checks `destination` before anything is written to it; with a DVD `title`, each file of
// its disc counts as the source too. Throws SaveError when no clip can ever go there:
// a folder, device, pipe or socket, or a path that cannot be examined.
Destination checkDestination(const FileSystem& files, const std::string& destination,
                             const std::string& source, const Title* title = nullptr);

// Which bytes of the opened source make the clip. Throws SaveError when none do.
using ClipPlanner = std::function<ByteRange(SourceFile& source)>;
// Told the planned range once the clip exists, before its first byte is copied; returns
// what the copy reports to after every block.
using ProgressStart = std::function<CopyProgress(const ByteRange& range)>;

// Copies the planned bytes of `source` (or, given a DVD `title`, of the title's bytes) into a new
// clip that replaces `destination` only once all of them are on disk. Returns false, leaving
// nothing behind and the destination as it was, when the progress asked to stop. Throws SaveError
// or FileError with a short reason for the user; numbers that do not fit become "the marked stretch
// is too large".
bool writeClip(FileSystem& files, const std::string& source, const std::string& destination,
               const ClipPlanner& plan, const ProgressStart& startProgress, CopyBlocks blocks = {},
               const Title* title = nullptr);

struct ExactClip;

// Which new and copied bytes make a frame-exact clip. Throws SaveError when none do.
using ExactPlan = std::function<ExactClip(SourceFile& source)>;

// The same for a frame-exact clip: its new head, the copied bytes (in the kernel where it
// can) and its new tail, replacing `destination` only once all are on disk. The progress is
// told the whole clip's size as its range's length.
bool writeExactClip(FileSystem& files, const std::string& source, const std::string& destination,
                    const ExactPlan& plan, const ProgressStart& startProgress,
                    std::vector<std::string>& notes, CopyBlocks blocks = {},
                    const Title* title = nullptr);

} // namespace parvane
