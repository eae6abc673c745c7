#pragma once

#include "core/marks/clip_state.h"

#include <functional>

namespace parvane {

class MediaPlayer;
class MessageBox;
class Readouts;

// Setting the clip marks from the playing position, and previewing the marked stretch.
class MarkController {
public:
    MarkController(ClipState& state, MediaPlayer& player, Readouts& readouts, MessageBox& messages,
                   std::function<void(bool)> switchPreviewWatch);

    void setBegin();
    void setEnd();
    // The same marks at a time other than the playing position: a chapter's start or end.
    void setBeginAt(double seconds);
    void setEndAt(double seconds);
    // Plays from the begin mark and starts the watch that halts past the end mark.
    void preview();
    // One tick of the watch.
    void watchTick();

private:
    void showLength();

    ClipState& state_;
    MediaPlayer& player_;
    Readouts& readouts_;
    MessageBox& messages_;
    // Switches the watch that halts a preview past the end mark on (true) or off.
    std::function<void(bool)> switchPreviewWatch_;
};

} // namespace parvane
