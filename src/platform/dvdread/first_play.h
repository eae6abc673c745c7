#pragma once

#include <string>

namespace parvane {

// The title the disc at `root` (a VIDEO_TS folder or an image) starts from its First Play,
// as libdvdnav's machine plays it, counted as the disc's title table counts them; 0 when
// it gets to none (it stops, shows a still, waits in a menu) or the machine fails.
int firstPlayTitle(const std::string& root);

} // namespace parvane
