#pragma once

#include "core/base/title.h"

#include <optional>
#include <string>
#include <utility>

namespace parvane {

// The embedded player as the program uses it. Positions and durations are seconds.
// A call that cannot be carried out throws std::runtime_error.
class MediaPlayer {
public:
    virtual ~MediaPlayer() = default;

    // Stops playback like a player's stop button; the media stays loaded.
    virtual void endPlayback() = 0;
    // Starts playback from the current position.
    virtual void play() = 0;
    // Both halts leave the media loaded and the position no longer advancing.
    virtual void haltAtPreviewEnd() = 0;
    virtual void haltBeforeSaving() = 0;
    // Loads the media at this path; throws when the player refuses it.
    virtual void setMediaFileName(const std::string& path) = 0;
    // Loads a DVD title as one timeline from 0 to its duration, whatever its cells' own
    // clocks say, and shows its chapters; throws when the player refuses it. Positions and
    // the duration are then the title's.
    virtual void setTitle(const Title& title) = 0;
    // Plays the loaded title's audio stream whose id is `streamId` (AudioStream::id). A
    // title starts with its first audio stream; a choice lasts until the next load.
    virtual void selectAudio(int streamId) = 0;
    // Shows the loaded title's subpicture stream whose id is `streamId`
    // (SubpictureStream::id), or none. A title starts with none.
    virtual void selectSubtitles(std::optional<int> streamId) = 0;
    // Tells the user, where the player shows why a file cannot be played, that this one
    // cannot: the media stays as it was.
    virtual void showCannotPlay(const std::string& reason) = 0;
    // 0 when nothing is loaded. Right after setPosition() it reads the position that was set.
    virtual double position() const = 0;
    virtual void setPosition(double seconds) = 0;
    // 0 when the duration is not known.
    virtual double duration() const = 0;

    // For the keyboard: pauses a playing video, plays a paused one.
    virtual void togglePause() = 0;
    // Shows the next (+1) or the previous (-1) frame and stays paused there.
    virtual void stepFrame(int direction) = 0;
    // Shows where the clip marks lie, in seconds; nullopt for a mark not set yet.
    virtual void showMarks(std::optional<double> begin, std::optional<double> end) = 0;
    // Shows where a clip cut at stream times would really begin and end; nullopt hides it.
    virtual void showStreamClip(std::optional<std::pair<double, double>> clip) = 0;
};

} // namespace parvane
