#pragma once

#include <string>

namespace parvane {

class WebPane {
public:
    virtual ~WebPane() = default;

    // Returns at once; the page loads on its own.
    virtual void navigate(const std::string& address) = 0;
};

} // namespace parvane
