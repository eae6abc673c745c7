#pragma once

#include <QFont>
#include <QLabel>
#include <QRect>

namespace parvane {

// Layout positions are given in twips: 15 to a pixel at 96 dots per inch.
constexpr int kTwipsPerPixel = 15;
constexpr QRect fromTwips(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

// The windows' default font: a small face like the one the layout's sizes were made for,
// so every caption fits its control.
QFont windowFont();

// A label that acts as a link: pointing-hand cursor, and a click signal.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    LinkLabel(const QString& text, const QColor& color, QWidget* parent);

    void setUnderlined(bool underlined);

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace parvane
