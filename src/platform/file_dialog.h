#pragma once

#include <optional>
#include <string>
#include <vector>

namespace parvane {

// What a dialog lists: a description shown to the user and the name patterns it stands for.
struct FileFilter {
    std::string description;
    std::vector<std::string> patterns;
};

struct FileRequest {
    std::string title; // empty for the platform's own
    FileFilter filter;
    std::string startName;                     // the name the dialog starts with; may be empty
    std::vector<FileFilter> otherFilters = {}; // offered after `filter`
    // The open may return a DVD's folder (one holding VIDEO_TS, or VIDEO_TS itself) as
    // well as a file.
    bool discFolders = false;
};

// The platform's modal open and save dialogs.
class FileDialog {
public:
    virtual ~FileDialog() = default;

    // The chosen path, or nullopt when the user cancelled.
    virtual std::optional<std::string> chooseOpen(const FileRequest& request) = 0;
    virtual std::optional<std::string> chooseSave(const FileRequest& request) = 0;
};

} // namespace parvane
