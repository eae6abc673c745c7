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
class PictureCodec;
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
        // Decodes and encodes the pictures at the edges of a frame-exact clip; without it
        // saveFrameExact says it cannot.
        PictureCodec* codec = nullptr;
    };

    ClipSaver(ClipState& state, Parts parts, SavePacing pacing = {});

    void save();
    void saveAtStreamTimes();
    // Exactly the pictures from the one on screen at the begin mark to the one on screen at
    // the end mark: whole picture groups copied, the pictures at the edges encoded again.
    void saveFrameExact();

private:
    // Which bytes to copy, and where the bar stands once some of them are copied.
    struct CopyPlan {
        ByteRange range;
        std::int64_t progressMaximum = 0;
        std::function<std::int64_t(std::int64_t copied)> progressAfter;
        std::vector<std::string> notes; // what the user should know about the clip
    };

    using Planner = CopyPlan (ClipSaver::*)(SourceFile& source) const;
    // Writes the clip to the destination; false when the program is ending.
    using Copier =
        std::function<bool(const std::string& destination, std::vector<std::string>& notes)>;

    // The flow the saves share; `copy` makes the clip.
    void run(const Copier& copy);
    std::optional<std::string> chooseDestination();
    // Asks before replacing a file; false when the save must not go on. Throws SaveError
    // when the destination can take no clip.
    bool mayWrite(const std::string& destination);
    CopyPlan planProportional(SourceFile& source) const;
    CopyPlan planStreamTimes(SourceFile& source) const;
    // False when the program is ending: the copy stopped, leaving nothing behind.
    // `notes` gets the plan's.
    bool copyClip(const std::string& destination, Planner plan, std::vector<std::string>& notes);
    bool copyExact(const std::string& destination, std::vector<std::string>& notes);

    ClipState& state_;
    Parts parts_;
    SavePacing pacing_;
};

} // namespace parvane
