#include "core/base/time_text.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace parvane {

namespace {

std::string signedField(std::int64_t value) {
    if (value < 0)
        return "-" + std::to_string(-value);
    return " " + std::to_string(value);
}

bool allDigits(std::string_view text) {
    if (text.empty())
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Digits only, so that signs, blanks, exponents and "inf" are not times.
std::optional<double> number(std::string_view text) {
    const auto point = text.find('.');
    const auto whole = text.substr(0, point);
    if (!allDigits(whole) || whole.size() > 12)
        return std::nullopt;
    double value = 0;
    for (const char c : whole)
        value = value * 10 + (c - '0');
    if (point == std::string_view::npos)
        return value;
    const auto fraction = text.substr(point + 1);
    if (!allDigits(fraction))
        return std::nullopt;
    double scale = 0.1;
    for (const char c : fraction) {
        value += (c - '0') * scale;
        scale /= 10;
    }
    return value;
}

} // namespace

std::string formatSeconds(std::int32_t seconds) {
    // Wider arithmetic so that negating the smallest 32-bit value cannot overflow;
    // C++ division truncates toward zero, which is what every field needs.
    const std::int64_t total = seconds;
    const std::int64_t hours = total / 3600;
    const std::int64_t rest = total - hours * 3600;
    const std::int64_t minutes = rest / 60;
    const std::int64_t secs = rest - minutes * 60;
    return signedField(hours) + " :" + signedField(minutes) + " :" + signedField(secs);
}

std::string clockText(double seconds) {
    const auto total =
        std::isfinite(seconds) && seconds > 0 ? static_cast<long long>(std::floor(seconds)) : 0LL;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                  total % 60);
    return text;
}

std::string tenthsClockText(double seconds) {
    const auto tenths =
        std::isfinite(seconds) && seconds > 0 ? std::llround(std::min(seconds, 1e12) * 10) : 0LL;
    char text[40];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%lld", tenths / 36000, tenths / 600 % 60,
                  tenths / 10 % 60, tenths % 10);
    return text;
}

std::string hundredthsClockText(double seconds) {
    const auto hundredths =
        std::isfinite(seconds) && seconds > 0 ? std::llround(std::min(seconds, 1e12) * 100) : 0LL;
    char text[40];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld", hundredths / 360000,
                  hundredths / 6000 % 60, hundredths / 100 % 60, hundredths % 100);
    return text;
}

std::optional<double> parseTime(std::string_view text) {
    std::vector<std::string_view> fields;
    for (std::size_t from = 0;;) {
        const auto colon = text.find(':', from);
        fields.push_back(text.substr(from, colon - from));
        if (colon == std::string_view::npos)
            break;
        from = colon + 1;
    }
    if (fields.size() > 3)
        return std::nullopt;
    double seconds = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const bool last = i + 1 == fields.size();
        // Only the last field may have decimals; fields after the first are "00" to "59".
        if (!last && fields[i].find('.') != std::string_view::npos)
            return std::nullopt;
        const auto value = number(fields[i]);
        if (!value)
            return std::nullopt;
        if (i > 0 && (fields[i].substr(0, fields[i].find('.')).size() != 2 || *value >= 60))
            return std::nullopt;
        seconds = seconds * 60 + *value;
    }
    return seconds;
}

} // namespace parvane
