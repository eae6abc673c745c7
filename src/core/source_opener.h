#pragma once

#include "clip_state.h"

#include <functional>

#include <string>

namespace parvane {

class FileDialog;
class MediaPlayer;
class Readouts;

// Choosing a source file and playing it, and the once-a-second playing time.
class SourceOpener {
public:
    SourceOpener(ClipState& state, MediaPlayer& player, FileDialog& dialog, Readouts& readouts,
                 std::function<void(bool)> switchPreviewWatch);

    // Any failure from the dialog on ends the open silently: the player's own area
    // tells the user why a file cannot be played.
    void open();
    // The same open with `path` in place of the dialog's choice: a file named on the
    // command line or dropped on the window.
    void open(const std::string& path);
    void showPlayingTime();

private:
    void playChosenFile(const std::string& path);

    ClipState& state_;
    MediaPlayer& player_;
    FileDialog& dialog_;
    Readouts& readouts_;
    std::function<void(bool)> switchPreviewWatch_;
};

} // namespace parvane
