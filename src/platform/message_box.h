#pragma once

#include <string>

namespace parvane {

// Modal message boxes titled with the window title and showing the information icon.
class MessageBox {
public:
    virtual ~MessageBox() = default;

    // One OK button.
    virtual void inform(const std::string& text) = 0;
    // Yes and No buttons; true only for Yes.
    virtual bool ask(const std::string& text) = 0;
};

} // namespace parvane
