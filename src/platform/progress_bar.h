#pragma once

#include <cstdint>

namespace parvane {

// Progress with 64-bit values; a bar with a narrower range shows the same fraction.
class ProgressBar {
public:
    virtual ~ProgressBar() = default;

    virtual void setMaximum(std::int64_t maximum) = 0;
    virtual void setValue(std::int64_t value) = 0;
    virtual std::int64_t value() const = 0;
};

} // namespace parvane
