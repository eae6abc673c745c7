#pragma once

#include <string>

namespace parvane {

// Opens web addresses in the desktop's browser, without waiting for it.
class LinkOpener {
public:
    virtual ~LinkOpener() = default;

    // Throws std::runtime_error when the desktop's opener cannot be started.
    virtual void open(const std::string& address) = 0;
};

} // namespace parvane
