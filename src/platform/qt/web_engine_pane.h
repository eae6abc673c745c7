#pragma once

#include "platform/web_pane.h"

#include <QString>
#include <QWidget>

class QWebEngineView;

namespace parvane {

// A web pane whose engine starts only after the pane has first been painted, so the
// window's first paint does not wait for it. It takes no drops: a file dropped on it is
// for the window around it, not a page to show.
class WebEnginePane : public QWidget, public WebPane {
    Q_OBJECT
public:
    explicit WebEnginePane(QWidget* parent = nullptr);

    void navigate(const std::string& address) override;
    QWebEngineView* view() const { return view_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createView();

    QWebEngineView* view_ = nullptr;
    QString pendingAddress_;
    bool creationScheduled_ = false;
};

} // namespace parvane
