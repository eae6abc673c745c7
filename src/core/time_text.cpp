#include "time_text.h"

namespace parvane {

namespace {

std::string signedField(std::int64_t value) {
    if (value < 0)
        return "-" + std::to_string(-value);
    return " " + std::to_string(value);
}

} // namespace

std::string FormatSeconds(std::int32_t seconds) {
    // Wider arithmetic so that negating the smallest 32-bit value cannot overflow;
    // C++ division truncates toward zero, which is what every field needs.
    const std::int64_t total = seconds;
    const std::int64_t hours = total / 3600;
    const std::int64_t rest = total - hours * 3600;
    const std::int64_t minutes = rest / 60;
    const std::int64_t secs = rest - minutes * 60;
    return signedField(hours) + " :" + signedField(minutes) + " :" + signedField(secs);
}

} // namespace parvane
