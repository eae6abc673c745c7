#include "plugin_host.h"

#include <QLabel>
#include <QOpenGLWidget>
#include <QPluginLoader>
#include <QTimer>

namespace parvane {

PluginHost::PluginHost(QString pluginPath, QString failureHeading, QWidget* parent)
    : QWidget(parent), pluginPath_(std::move(pluginPath)),
      failureHeading_(std::move(failureHeading)) {
    auto* glSurfaceForTheWindow = new QOpenGLWidget(this);
    glSurfaceForTheWindow->hide();
}

bool PluginHost::ensureContent() {
    if (tried_)
        return content_ != nullptr;
    tried_ = true;
    if (const QString missing = unmetNeed(); !missing.isEmpty()) {
        fail(missing);
        return false;
    }
    QPluginLoader loader(pluginPath_);
    QObject* plugin = loader.instance();
    if (!plugin) {
        fail(loader.errorString());
        return false;
    }
    content_ = createContent(plugin);
    if (!content_) {
        fail(tr("%1 is not the expected plugin.").arg(pluginPath_));
        return false;
    }
    content_->setParent(this);
    content_->setGeometry(rect());
    setFocusProxy(content_);
    content_->show();
    Q_EMIT contentReady();
    return true;
}

void PluginHost::fail(const QString& reason) {
    failure_ = reason;
    failureText_ = new QLabel(failureHeading_ + QLatin1Char('\n') + reason, this);
    failureText_->setWordWrap(true);
    failureText_->setAlignment(Qt::AlignCenter);
    failureText_->setGeometry(rect());
    failureText_->show();
}

void PluginHost::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!tried_ && !scheduled_) {
        scheduled_ = true;
        // After this paint has reached the screen.
        QTimer::singleShot(0, this, [this] { ensureContent(); });
    }
}

void PluginHost::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (QWidget* child : {content_, static_cast<QWidget*>(failureText_)})
        if (child)
            child->setGeometry(rect());
}

} // namespace parvane
