#pragma once

#include "clip_state.h"

#include <optional>
#include <string>

namespace parvane {

class EventPump;
class FileDialog;
class FileSystem;
class MediaPlayer;
class MessageBox;
class ProgressBar;
class SaveView;

// Saves the marked stretch of the source as a new file by copying the byte range
// proportional to the marks. The source is only read; the destination is replaced only
// by a complete clip, and only after the user said Yes.
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
    };

    ClipSaver(ClipState& state, Parts parts);

    void save();

private:
    std::optional<std::string> chooseDestination();
    void copyClip(const std::string& destination);
    void complete();
    void finish(const std::optional<std::string>& failure);

    ClipState& state_;
    Parts parts_;
};

} // namespace parvane
