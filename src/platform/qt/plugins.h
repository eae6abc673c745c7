#pragma once

#include <QtPlugin>

class QWidget;

namespace parvane {

class MediaPlayer;
class WebPane;

// The player and the web pane live in plugins, so their large libraries (libmpv and
// everything it links, the web engine) load after the window has first been painted.

struct PluginPlayer {
    QWidget* widget = nullptr;
    MediaPlayer* player = nullptr; // the same object as `widget`
};

class PlayerPlugin {
public:
    virtual ~PlayerPlugin() = default;
    virtual PluginPlayer createPlayer(QWidget* parent) = 0;
};

struct PluginWebView {
    QWidget* widget = nullptr;
    WebPane* pane = nullptr; // the same object as `widget`
};

class WebViewPlugin {
public:
    virtual ~WebViewPlugin() = default;
    virtual PluginWebView createWebView(QWidget* parent) = 0;
};

} // namespace parvane

#define PARVANE_PLAYER_PLUGIN_IID "example.parvane.PlayerPlugin/1"
#define PARVANE_WEB_VIEW_PLUGIN_IID "example.parvane.WebViewPlugin/1"
Q_DECLARE_INTERFACE(parvane::PlayerPlugin, PARVANE_PLAYER_PLUGIN_IID)
Q_DECLARE_INTERFACE(parvane::WebViewPlugin, PARVANE_WEB_VIEW_PLUGIN_IID)
