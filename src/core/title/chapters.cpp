#include "core/title/chapters.h"

#include <algorithm>

namespace parvane {

namespace {

// About a frame: the slack between a chapter's start and the position read there.
constexpr double kStartSlack = 0.05;

// The index of the chapter `position` is in; -1 before the first.
long chapterIndex(const std::vector<double>& starts, double position) {
    const auto after = std::upper_bound(starts.begin(), starts.end(), position + kStartSlack);
    return static_cast<long>(after - starts.begin()) - 1;
}

} // namespace

std::optional<double> chapterStart(const std::vector<double>& starts, double position, int step) {
    if (starts.empty())
        return std::nullopt;
    const long target = chapterIndex(starts, position) + step;
    if (target >= static_cast<long>(starts.size()))
        return std::nullopt;
    return starts[static_cast<std::size_t>(std::max(target, 0L))];
}

double chapterEnd(const Title& title, double position) {
    return chapterStart(title.chapters, position, +1).value_or(title.duration());
}

} // namespace parvane
