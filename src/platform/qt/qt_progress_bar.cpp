#include "qt_progress_bar.h"

#include <QProgressBar>

#include <algorithm>
#include <limits>

namespace parvane {

void QtProgressBar::setMaximum(std::int64_t maximum) {
    constexpr std::int64_t kLargest = std::numeric_limits<int>::max();
    maximum_ = std::max<std::int64_t>(maximum, 0);
    scale_ = maximum_ / kLargest + 1;
    bar_.setMaximum(static_cast<int>(maximum_ / scale_));
}

void QtProgressBar::setValue(std::int64_t value) {
    value_ = std::clamp<std::int64_t>(value, 0, maximum_);
    bar_.setValue(static_cast<int>(value_ / scale_));
}

} // namespace parvane
