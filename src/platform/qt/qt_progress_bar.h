#pragma once

#include "platform/progress_bar.h"

class QProgressBar;

namespace parvane {

// Drives a QProgressBar, whose range is int, with 64-bit values: ranges beyond int are
// scaled down so the bar shows the same fraction.
class QtProgressBar : public ProgressBar {
public:
    explicit QtProgressBar(QProgressBar& bar) : bar_(bar) {}

    void setMaximum(std::int64_t maximum) override;
    void setValue(std::int64_t value) override;
    std::int64_t value() const override { return value_; }

private:
    QProgressBar& bar_;
    std::int64_t maximum_ = 100;
    std::int64_t value_ = 0;
    std::int64_t scale_ = 1;
};

} // namespace parvane
