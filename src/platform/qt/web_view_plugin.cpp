// The web engine, loaded as a plugin once the window has been painted.

#include "platform/web_pane.h"
#include "plugins.h"

#include <QChildEvent>
#include <QObject>
#include <QUrl>
#include <QWebEngineView>

namespace parvane {

namespace {

// Takes no drops: a file dropped on the page is for the window around it, not a page to
// show.
class EngineView : public QWebEngineView, public WebPane {
public:
    explicit EngineView(QWidget* parent) : QWebEngineView(parent) { setAcceptDrops(false); }

    void navigate(const std::string& address) override {
        load(QUrl(QString::fromStdString(address)));
    }

protected:
    // The view draws the page in a child widget of its own, made and remade as pages load.
    void childEvent(QChildEvent* event) override {
        QWebEngineView::childEvent(event);
        if (event->type() == QEvent::ChildPolished)
            if (auto* child = qobject_cast<QWidget*>(event->child()))
                child->setAcceptDrops(false);
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
