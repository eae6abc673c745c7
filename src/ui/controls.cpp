#include "controls.h"

#include <QMouseEvent>

namespace parvane {

QFont windowFont() {
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setPixelSize(10);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

LinkLabel::LinkLabel(const QString& text, const QColor& color, QWidget* parent)
    : QLabel(text, parent) {
    QPalette colors = palette();
    colors.setColor(QPalette::WindowText, color);
    setPalette(colors);
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::setUnderlined(bool underlined) {
    QFont underlinedFont = font();
    underlinedFont.setUnderline(underlined);
    setFont(underlinedFont);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

} // namespace parvane
