#pragma once

#include "clip_state.h"

namespace parvane {

class FileDialog;
class MediaPlayer;
class Readouts;
class Timer;

// Choosing a source file and playing it, and the once-a-second playing time.
class SourceOpener {
public:
    SourceOpener(ClipState& state, MediaPlayer& player, FileDialog& dialog, Readouts& readouts,
                 Timer& previewWatch);

    // Any failure from the dialog on ends the open silently: the player's own area
    // tells the user why a file cannot be played.
    void open();
    void showPlayingTime();

private:
    void chooseAndPlay();

    ClipState& state_;
    MediaPlayer& player_;
    FileDialog& dialog_;
    Readouts& readouts_;
    Timer& previewWatch_;
};

} // namespace parvane
