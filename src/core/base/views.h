#pragma once

#include <string>

namespace parvane {

// The main window's read-outs, as the handlers write them.
class Readouts {
public:
    virtual ~Readouts() = default;

    virtual void setBeginText(const std::string& text) = 0;
    virtual void setEndText(const std::string& text) = 0;
    virtual void setLengthText(const std::string& text) = 0;
    virtual void setPlayingTimeText(const std::string& text) = 0;
};

// What the save changes on the main window while it runs.
class SaveView {
public:
    virtual ~SaveView() = default;

    // Open, Select Start, Select End, Save, Play Selected: always in that order.
    virtual void setWorkflowButtonsEnabled(bool enabled) = 0;
    virtual void setCaption(const std::string& caption) = 0;
};

} // namespace parvane
