#include "deferred_player.h"

#include "plugins.h"

#include <stdexcept>

namespace parvane {

DeferredPlayer::DeferredPlayer(QString pluginPath, QWidget* parent)
    : PluginHost(std::move(pluginPath), tr("The media player could not be started."), parent) {
    setAutoFillBackground(true);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, Qt::white);
    setPalette(dark);
    setFocusPolicy(Qt::StrongFocus);
}

QWidget* DeferredPlayer::createContent(QObject* plugin, QWidget* parent) {
    auto* factory = qobject_cast<PlayerPlugin*>(plugin);
    if (!factory)
        return nullptr;
    const PluginPlayer made = factory->createPlayer(parent);
    player_ = made.player;
    player_->showMarks(markBegin_, markEnd_);
    player_->showStreamClip(streamClip_);
    return made.widget;
}

void DeferredPlayer::endPlayback() {
    if (player_)
        player_->endPlayback();
}

void DeferredPlayer::play() {
    if (player_)
        player_->play();
}

void DeferredPlayer::haltAtPreviewEnd() {
    if (player_)
        player_->haltAtPreviewEnd();
}

void DeferredPlayer::haltBeforeSaving() {
    if (player_)
        player_->haltBeforeSaving();
}

MediaPlayer& DeferredPlayer::startedPlayer() {
    if (!ensureContent())
        throw std::runtime_error("Cannot play this file: the media player could not be started (" +
                                 failure().toStdString() + ")");
    return *player_;
}

void DeferredPlayer::setMediaFileName(const std::string& path) {
    startedPlayer().setMediaFileName(path);
}

void DeferredPlayer::setTitle(const Title& title) {
    startedPlayer().setTitle(title);
}

void DeferredPlayer::selectAudio(int streamId) {
    if (player_)
        player_->selectAudio(streamId);
}

void DeferredPlayer::selectSubtitles(std::optional<int> streamId) {
    if (player_)
        player_->selectSubtitles(streamId);
}

void DeferredPlayer::showCannotPlay(const std::string& reason) {
    // Without a player its own failure is what stays in its place.
    if (ensureContent())
        player_->showCannotPlay(reason);
}

double DeferredPlayer::position() const {
    return player_ ? player_->position() : 0.0;
}

void DeferredPlayer::setPosition(double seconds) {
    if (player_)
        player_->setPosition(seconds);
}

double DeferredPlayer::duration() const {
    return player_ ? player_->duration() : 0.0;
}

void DeferredPlayer::togglePause() {
    if (player_)
        player_->togglePause();
}

void DeferredPlayer::stepFrame(int direction) {
    if (player_)
        player_->stepFrame(direction);
}

void DeferredPlayer::showMarks(std::optional<double> begin, std::optional<double> end) {
    markBegin_ = begin;
    markEnd_ = end;
    if (player_)
        player_->showMarks(begin, end);
}

void DeferredPlayer::showStreamClip(std::optional<std::pair<double, double>> clip) {
    streamClip_ = clip;
    if (player_)
        player_->showStreamClip(clip);
}

} // namespace parvane
