#pragma once

#include <string>

namespace parvane {

// One file dialog shared by the open and the save: its filter, title and file name
// persist from one showing to the next.
class FileDialog {
public:
    virtual ~FileDialog() = default;

    // Filter as description|pattern pairs, e.g. "VOB Files (*.vob)|*.vob".
    virtual void setFilter(const std::string& filter) = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual std::string fileName() const = 0;
    virtual void setFileName(const std::string& name) = 0;
    // Modal; true when the user chose a file (then in fileName()), false when cancelled.
    virtual bool showOpen() = 0;
    virtual bool showSave() = 0;
};

} // namespace parvane
