#pragma once

#include "platform/link_opener.h"

namespace parvane {

// Hands addresses to the desktop's opener, xdg-open, started detached.
class DesktopLinkOpener : public LinkOpener {
public:
    void open(const std::string& address) override;
};

} // namespace parvane
