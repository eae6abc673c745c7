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

QWidget* DeferredPlayer::createContent(QObject* plugin) {
    auto* factory = qobject_cast<PlayerPlugin*>(plugin);
    if (!factory)
        return nullptr;
    const PluginPlayer made = factory->createPlayer(this);
    player_ = made.player;
    player_->showMarks(markBegin_, markEnd_);
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

void DeferredPlayer::setMediaFileName(const std::string& path) {
    if (!ensureContent())
        throw std::runtime_error("Cannot play this file: the media player could not be started (" +
                                 failure().toStdString() + ")");
    player_->setMediaFileName(path);
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

} // namespace parvane
