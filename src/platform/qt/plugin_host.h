#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace parvane {

// Holds the place of a widget that a plugin makes. The plugin is loaded after this
// widget's first paint, or earlier when ensureContent() is called; a plugin that cannot be
// loaded leaves a short text in its place, and the program goes on without it.
//
// The content draws through OpenGL (the player's video, the web engine's page), which Qt
// composes only in a top-level window made with a GL surface. Such content arriving in a
// window already shown made Qt destroy that window and map a new one, a moment after the
// first paint. So the host holds a hidden GL widget from its creation, which makes the
// window it is placed in GL-capable from its first map; it never makes a GL context itself.
class PluginHost : public QWidget {
    Q_OBJECT
public:
    PluginHost(QString pluginPath, QString failureHeading, QWidget* parent);

    QWidget* content() const { return content_; }
    // Why the plugin could not be loaded; empty while it has not failed.
    QString failure() const { return failure_; }

Q_SIGNALS:
    void contentReady();

protected:
    // Loads the plugin now if that has not been tried; returns whether the content exists.
    bool ensureContent();
    // Makes the content from the plugin's root object; nullptr when it is not the right
    // plugin.
    virtual QWidget* createContent(QObject* plugin) = 0;
    // Why the plugin cannot run here, asked before it is loaded; empty when nothing is
    // missing.
    virtual QString unmetNeed() const { return {}; }

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fail(const QString& reason);

    QString pluginPath_;
    QString failureHeading_;
    QWidget* content_ = nullptr;
    QLabel* failureText_ = nullptr;
    QString failure_;
    bool tried_ = false;
    bool scheduled_ = false;
};

} // namespace parvane
