#pragma once

#include "clip_state.h"

namespace parvane {

class MediaPlayer;
class MessageBox;
class Readouts;
class Timer;

// Setting the clip marks from the playing position, and previewing the marked stretch.
class MarkController {
public:
    MarkController(ClipState& state, MediaPlayer& player, Readouts& readouts, MessageBox& messages,
                   Timer& previewWatch);

    void setBegin();
    void setEnd();
    // Plays from the begin mark and starts the watch that halts past the end mark.
    void preview();
    // One tick of the watch.
    void watchTick();

private:
    std::int32_t roundedPosition() const;
    void showLength();

    ClipState& state_;
    MediaPlayer& player_;
    Readouts& readouts_;
    MessageBox& messages_;
    Timer& previewWatch_;
};

} // namespace parvane
