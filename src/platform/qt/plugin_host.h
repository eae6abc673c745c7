#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace parvane {

// Holds the place of a widget that a plugin makes. The plugin is loaded after this
// widget's first paint, or earlier when ensureContent() is called; a plugin that cannot be
// loaded leaves a short text in its place, and the program goes on without it.
//
// The content may draw through GL widgets (the web engine's page does), which Qt composes
// only in a window made with a GL surface, and a raster window that such content arrives in
// is destroyed and mapped anew. A GL surface made before the first paint costs that paint a
// few hundred milliseconds, so the window stays raster: such content gets a native window
// of its own, GL from its creation, set into this widget as a child window.
class PluginHost : public QWidget {
    Q_OBJECT
public:
    PluginHost(QString pluginPath, QString failureHeading, QWidget* parent);
    ~PluginHost() override;

    QWidget* content() const { return content_; }
    // Why the plugin could not be loaded; empty while it has not failed.
    QString failure() const { return failure_; }

Q_SIGNALS:
    void contentReady();

protected:
    // Loads the plugin now if that has not been tried; returns whether the content exists.
    bool ensureContent();
    // Makes the content, a child of `parent`, from the plugin's root object; nullptr when it
    // is not the right plugin. Content made anywhere in this widget's window would mark that
    // window for GL, and Qt would remake it.
    virtual QWidget* createContent(QObject* plugin, QWidget* parent) = 0;
    // Why the plugin cannot run here, asked before it is loaded; empty when nothing is
    // missing.
    virtual QString unmetNeed() const { return {}; }
    // Whether the content has GL widgets (QOpenGLWidget, QQuickWidget), rather than native
    // windows of its own for its GL drawing, or none.
    virtual bool drawsThroughGlWidgets() const { return true; }
    // Readies what the plugin needs from the application, just before it is loaded.
    virtual void beforeLoading() {}

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fail(const QString& reason);
    void embed();

    QString pluginPath_;
    QString failureHeading_;
    QWidget* content_ = nullptr;
    // The content's own top-level widget, whose native window is a child of this one's.
    QWidget* contentWindow_ = nullptr;
    QWidget* container_ = nullptr;
    QLabel* failureText_ = nullptr;
    QString failure_;
    bool tried_ = false;
    bool scheduled_ = false;
};

} // namespace parvane
