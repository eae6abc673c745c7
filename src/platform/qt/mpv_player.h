#pragma once

#include "platform/media_player.h"

#include <QImage>
#include <QWidget>

#include <memory>
#include <optional>

struct mpv_handle;
struct mpv_event;
class QLabel;
class QToolButton;

namespace parvane {

class MpvTitleStreams;
class MpvVideoWindow;
class SeekSlider;

// The embedded player: mpv's video with a bar of its own controls (play/pause, a position
// slider and the time) and a message line for files it cannot play.
class MpvPlayer : public QWidget, public MediaPlayer {
    Q_OBJECT
public:
    struct Options {
        // mpv's audio output; "null" where no audio device exists, empty for mpv's choice.
        std::string audioOutput;
    };

    explicit MpvPlayer(QWidget* parent = nullptr, const Options& options = {});
    ~MpvPlayer() override;

    void endPlayback() override { pause(); }
    void play() override;
    void haltAtPreviewEnd() override { pause(); }
    void haltBeforeSaving() override { pause(); }
    void setMediaFileName(const std::string& path) override;
    void setTitle(const Title& title) override;
    void selectAudio(int streamId) override;
    void selectSubtitles(std::optional<int> streamId) override;
    void showCannotPlay(const std::string& reason) override;
    double position() const override;
    void setPosition(double seconds) override;
    double duration() const override;
    void togglePause() override;
    void stepFrame(int direction) override;
    void showMarks(std::optional<double> begin, std::optional<double> end) override;
    void showStreamClip(std::optional<std::pair<double, double>> clip) override;

    bool isPaused() const;
    bool isLoaded() const { return loaded_; }
    // A position was set and the player has not got there yet.
    bool seekPending() const { return pendingSeek_.has_value(); }
    // The stream ids (as a title gives them) of the audio and the subtitle track mpv plays
    // now; nullopt for none.
    std::optional<int> audioPlaying() const { return streamPlaying("audio"); }
    std::optional<int> subtitlesShown() const { return streamPlaying("sub"); }
    // What the player's own area says about the last file it could not play; empty if none.
    QString message() const;
    // The picture the player shows now; null before its first.
    QImage picture() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void pause();
    // Shows Play while paused or with nothing to play, Pause while playing.
    void showPlayState();
    void seek(double seconds, bool exact);
    // Starts loading `url`, with mpv options for this file alone (empty for none).
    void startLoading(const QByteArray& url, const char* fileOptions);
    void drainEvents();
    void handleEvent(const mpv_event& event);
    void showMessage(const QString& text);
    void hideMessage();
    void showDuration(double seconds);
    void showTime(double position);
    double doubleProperty(const char* name) const;
    // Selects the title's chosen tracks among those mpv has met so far.
    void applyStreamChoice();
    std::optional<int> streamPlaying(const char* type) const;

    mpv_handle* mpv_ = nullptr;
    // Outlives the handle: mpv may call it until it is destroyed.
    std::unique_ptr<MpvTitleStreams> titleStreams_;
    // The length of the title playing; mpv's own figure comes from the stream's timestamps.
    std::optional<double> titleDuration_;
    MpvVideoWindow* videoWindow_ = nullptr;
    QWidget* video_ = nullptr; // the video window's place among the widgets
    QWidget* controls_ = nullptr;
    QToolButton* playButton_ = nullptr;
    SeekSlider* slider_ = nullptr;
    QLabel* time_ = nullptr;
    QLabel* message_ = nullptr;

    bool loaded_ = false;
    bool loading_ = false;   // asked to load, neither loaded nor refused yet
    bool pauseFlag_ = false; // mpv's "pause", last reported
    double knownDuration_ = 0.0;
    // For a title: the streams it plays, by their ids, applied as mpv meets their tracks.
    bool choosingStreams_ = false;
    std::optional<int> wantedAudio_;
    std::optional<int> wantedSubtitles_;
    // A position that was set and not yet reached: reads return it meanwhile.
    std::optional<double> pendingSeek_;
};

} // namespace parvane
