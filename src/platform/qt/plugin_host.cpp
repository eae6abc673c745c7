#include "plugin_host.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QOpenGLWidget>
#include <QPluginLoader>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace parvane {

namespace {

// The content's window. Being a window of its own, it would stop what it does not take at
// its border: files dropped on it go on to the window it sits in, as they did when the
// content was an ordinary child there.
class ContentWindow : public QWidget {
public:
    explicit ContentWindow(QWidget* host) : host_(host) {
        setAcceptDrops(true);
        // Made GL from its creation even while the content has no GL widget of its own yet
        // (the web view makes and remakes its page's widget as pages load): a GL widget
        // arriving later would make Qt destroy and remake this window.
        auto* glSurface = new QOpenGLWidget(this);
        glSurface->hide();
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
    }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        QDragEnterEvent passed(event->position().toPoint(), event->possibleActions(),
                               event->mimeData(), event->buttons(), event->modifiers());
        pass(event, passed);
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        QDragMoveEvent passed(event->position().toPoint(), event->possibleActions(),
                              event->mimeData(), event->buttons(), event->modifiers());
        pass(event, passed);
    }
    void dropEvent(QDropEvent* event) override {
        QDropEvent passed(event->position(), event->possibleActions(), event->mimeData(),
                          event->buttons(), event->modifiers());
        pass(event, passed);
    }

private:
    // As a new event, straight to the window's handler: Qt hands every drop of a drag to the
    // widget that took the drag's entry, this one, whatever it is sent to.
    void pass(QDropEvent* event, QDropEvent& passed) {
        event->ignore();
        if (!host_)
            return;
        static_cast<QObject*>(host_->window())->event(&passed);
        if (passed.isAccepted()) {
            event->setDropAction(passed.dropAction());
            event->accept();
        }
    }

    QPointer<QWidget> host_;
};

} // namespace

PluginHost::PluginHost(QString pluginPath, QString failureHeading, QWidget* parent)
    : QWidget(parent), pluginPath_(std::move(pluginPath)),
      failureHeading_(std::move(failureHeading)) {}

PluginHost::~PluginHost() {
    // Before the container, which would otherwise delete the content's native window from
    // under its widget.
    delete contentWindow_;
}

bool PluginHost::ensureContent() {
    if (tried_)
        return content_ != nullptr;
    tried_ = true;
    if (const QString missing = unmetNeed(); !missing.isEmpty()) {
        fail(missing);
        return false;
    }
    beforeLoading();
    QPluginLoader loader(pluginPath_);
    QObject* plugin = loader.instance();
    if (!plugin) {
        fail(loader.errorString());
        return false;
    }
    if (drawsThroughGlWidgets())
        contentWindow_ = new ContentWindow(this);
    content_ = createContent(plugin, contentWindow_ ? contentWindow_ : this);
    if (!content_) {
        delete contentWindow_;
        contentWindow_ = nullptr;
        fail(tr("%1 is not the expected plugin.").arg(pluginPath_));
        return false;
    }
    if (contentWindow_) {
        embed();
    } else {
        content_->setGeometry(rect());
        setFocusProxy(content_);
        content_->show();
    }
    Q_EMIT contentReady();
    return true;
}

void PluginHost::embed() {
    contentWindow_->setPalette(palette());
    contentWindow_->setAutoFillBackground(autoFillBackground());
    contentWindow_->layout()->addWidget(content_);
    // Sized before it is shown, or Qt would shrink it to the content's size hint, which may
    // be none; an empty window is never mapped.
    contentWindow_->resize(size());
    // Its native window, with the GL surface, is made here, before it is set into this one.
    contentWindow_->winId();
    container_ = QWidget::createWindowContainer(contentWindow_->windowHandle(), this);
    container_->setGeometry(rect());
    // Focus given to the place goes on into the content's window.
    setFocusProxy(container_);
    container_->show();
    // As a widget it is a window of its own, whose children are drawn only once it is shown.
    contentWindow_->show();
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
    for (QWidget* child : {container_ ? container_ : content_, static_cast<QWidget*>(failureText_)})
        if (child)
            child->setGeometry(rect());
}

} // namespace parvane
