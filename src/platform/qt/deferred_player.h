#pragma once

#include "platform/media_player.h"
#include "plugin_host.h"

namespace parvane {

// The player as the window sees it from its start: it forwards to the player plugin once
// that is loaded; until then nothing is loaded, so it reads 0 and has nothing to halt.
// Opening a file loads the plugin at once if it is not loaded yet.
class DeferredPlayer : public PluginHost, public MediaPlayer {
    Q_OBJECT
public:
    explicit DeferredPlayer(QString pluginPath, QWidget* parent = nullptr);

    MediaPlayer* player() const { return player_; }

    void endPlayback() override;
    void play() override;
    void haltAtPreviewEnd() override;
    void haltBeforeSaving() override;
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

protected:
    QWidget* createContent(QObject* plugin, QWidget* parent) override;
    // The video has a native window of its own.
    bool drawsThroughGlWidgets() const override { return false; }

private:
    // The player, loaded now if it is not yet; throws when it cannot be started.
    MediaPlayer& startedPlayer();

    MediaPlayer* player_ = nullptr;
    // Marks set before the player is there, for it to show when it comes.
    std::optional<double> markBegin_;
    std::optional<double> markEnd_;
    std::optional<std::pair<double, double>> streamClip_;
};

} // namespace parvane
