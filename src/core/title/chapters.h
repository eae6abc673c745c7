#pragma once

#include "core/base/title.h"

#include <optional>
#include <vector>

namespace parvane {

// Chapters as the keys move between them. A position read just short of a chapter's start,
// as one reads right after going there, counts as in that chapter.

// The start of the chapter `step` chapters after the one `position` is in (-1: the one
// before); nothing past the last chapter, the first chapter's start before it.
std::optional<double> chapterStart(const std::vector<double>& starts, double position, int step);

// Where the chapter that `position` is in ends: the next chapter's start, or the title's end.
double chapterEnd(const Title& title, double position);

} // namespace parvane
