#include "seek_slider.h"

#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionSlider>

#include <utility>

namespace parvane {

namespace {

constexpr int kTickLength = 5;
const QColor kBeginTick(0, 128, 0);
const QColor kEndTick(192, 0, 0);

// The platform's look, with the left button setting the slider where it is pressed.
class JumpToClickStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

} // namespace

SeekSlider::SeekSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    // A style of the slider's own, so the application's style is not handed over.
    auto* jump = new JumpToClickStyle(QStyleFactory::create(style()->name()));
    jump->setParent(this);
    setStyle(jump);
}

void SeekSlider::setMarks(std::optional<int> begin, std::optional<int> end) {
    if (std::pair(begin, end) == std::pair(begin_, end_))
        return;
    begin_ = begin;
    end_ = end;
    update();
}

int SeekSlider::centreOf(int value) const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    return groove.x() + handle.width() / 2 +
           QStyle::sliderPositionFromValue(minimum(), maximum(), value,
                                           groove.width() - handle.width(), option.upsideDown);
}

void SeekSlider::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    if (maximum() <= minimum())
        return;
    QPainter painter(this);
    for (const auto& [mark, colour] : {std::pair(begin_, kBeginTick), std::pair(end_, kEndTick)}) {
        if (!mark || *mark < minimum() || *mark > maximum())
            continue;
        painter.fillRect(QRect(centreOf(*mark) - 1, height() - kTickLength, 2, kTickLength),
                         colour);
    }
}

} // namespace parvane
