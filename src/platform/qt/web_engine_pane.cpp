#include "web_engine_pane.h"

#include <QChildEvent>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>

namespace parvane {

WebEnginePane::WebEnginePane(QWidget* parent) : QWidget(parent) {}

void WebEnginePane::navigate(const std::string& address) {
    pendingAddress_ = QString::fromStdString(address);
    if (view_)
        view_->load(QUrl(pendingAddress_));
}

void WebEnginePane::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!view_ && !creationScheduled_) {
        creationScheduled_ = true;
        QTimer::singleShot(0, this, &WebEnginePane::createView);
    }
}

void WebEnginePane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (view_)
        view_->setGeometry(rect());
}

bool WebEnginePane::eventFilter(QObject* watched, QEvent* event) {
    // The view draws the page in a child widget of its own, made and remade as pages load.
    if (event->type() == QEvent::ChildPolished)
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
            child->setAcceptDrops(false);
    return QWidget::eventFilter(watched, event);
}

void WebEnginePane::createView() {
    view_ = new QWebEngineView(this);
    view_->setAcceptDrops(false);
    view_->installEventFilter(this);
    for (QWidget* child : view_->findChildren<QWidget*>())
        child->setAcceptDrops(false);
    view_->setGeometry(rect());
    view_->show();
    if (!pendingAddress_.isEmpty())
        view_->load(QUrl(pendingAddress_));
}

} // namespace parvane
