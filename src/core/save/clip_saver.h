#pragma once

#include "core/marks/clip_state.h"
#include "core/save/byte_copier.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace parvane {

class EventPump;
class FileDialog;
class FileSystem;
class MediaPlayer;
class MessageBox;
class NavPackReader;
class ProgressBar;
class SaveView;
class SourceFile;

// How often a save lets the window run while it copies.
struct SavePacing {
    CopyBlocks blocks;
    // The bar moves and pending events run at most this often, and after every block
    // that takes longer.
    std::chrono::milliseconds eventInterval{16};
};

// Saves the marked stretch of the source as a new file: the byte range proportional to
// the marks (save), or the whole picture groups around them found from the stream's own
// times (saveAtStreamTimes). The source is only read; the destination is replaced only by
// a complete clip, and only after the user said Yes.
class ClipSaver {
public:
    struct Parts {
        MediaPlayer& player;
        FileDialog& dialog;
        MessageBox& messages;
        ProgressBar& progress;
        EventPump& events;
        FileSystem& files;
        SaveView& view;
        // Reads DVD navigation packs for saveAtStreamTimes; without it picture groups are
        // found from the video alone.
        const NavPackReader* navPacks = nullptr;
    };

    ClipSaver(ClipState& state, Parts parts, SavePacing pacing = {});

    void save();
    void saveAtStreamTimes();

private:
    // Which bytes to copy, and where the bar stands once some of them are copied.
    struct CopyPlan {
        ByteRange range;
        std::int64_t progressMaximum = 0;
        std::function<std::int64_t(std::int64_t copied)> progressAfter;
        std::vector<std::string> notes; // what the user should know about the clip
    };

    using Planner = CopyPlan (ClipSaver::*)(SourceFile& source) const;

    // The flow both saves share; `plan` says which bytes make the clip.
    void run(Planner plan);
    std::optional<std::string> chooseDestination();
    // Asks before replacing a file; false when the save must not go on. Throws SaveError
    // when the destination can take no clip.
    bool mayWrite(const std::string& destination);
    CopyPlan planProportional(SourceFile& source) const;
    CopyPlan planStreamTimes(SourceFile& source) const;
    // False when the program is ending: the copy stopped, leaving nothing behind.
    // `notes` gets the plan's.
    bool copyClip(const std::string& destination, Planner plan, std::vector<std::string>& notes);

    ClipState& state_;
    Parts parts_;
    SavePacing pacing_;
};

} // namespace parvane
