#include "seek_slider.h"

#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionSlider>

#include <tuple>
#include <utility>

namespace parvane {

namespace {

constexpr int kTickLength = 5;
const QColor kBeginTick(0, 128, 0);
const QColor kEndTick(192, 0, 0);
constexpr int kChapterTickLength = 3;
const QColor kChapterTick(96, 96, 96);

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

void SeekSlider::setStreamClip(std::optional<std::pair<int, int>> clip) {
    if (clip == streamClip_)
        return;
    streamClip_ = clip;
    update();
}

void SeekSlider::setChapters(std::vector<int> starts) {
    if (starts == chapters_)
        return;
    chapters_ = std::move(starts);
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
    const auto within = [this](int value) { return value >= minimum() && value <= maximum(); };
    for (const int start : chapters_)
        if (within(start))
            painter.fillRect(QRect(centreOf(start), 0, 1, kChapterTickLength), kChapterTick);
    const auto clipBegin = streamClip_ ? std::optional(streamClip_->first) : std::optional<int>();
    const auto clipEnd = streamClip_ ? std::optional(streamClip_->second) : std::optional<int>();
    for (const auto& [mark, top, colour] :
         {std::tuple(begin_, false, kBeginTick), std::tuple(end_, false, kEndTick),
          std::tuple(clipBegin, true, kBeginTick), std::tuple(clipEnd, true, kEndTick)}) {
        if (!mark || !within(*mark))
            continue;
        painter.fillRect(
            QRect(centreOf(*mark) - 1, top ? 0 : height() - kTickLength, 2, kTickLength), colour);
    }
}

} // namespace parvane
