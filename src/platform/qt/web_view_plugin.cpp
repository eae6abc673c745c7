// The web engine, loaded as a plugin once the window has been painted.

#include "platform/web_pane.h"
#include "plugins.h"

#include <QObject>
#include <QUrl>
#include <QWebEngineView>

namespace parvane {

namespace {

class EngineView : public QWebEngineView, public WebPane {
public:
    explicit EngineView(QWidget* parent) : QWebEngineView(parent) {}

    void navigate(const std::string& address) override {
        load(QUrl(QString::fromStdString(address)));
    }
};

} // namespace

class WebEnginePlugin : public QObject, public WebViewPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PARVANE_WEB_VIEW_PLUGIN_IID)
    Q_INTERFACES(parvane::WebViewPlugin)
public:
    PluginWebView createWebView(QWidget* parent) override {
        auto* view = new EngineView(parent);
        return {view, view};
    }
};

} // namespace parvane

#include "web_view_plugin.moc"
