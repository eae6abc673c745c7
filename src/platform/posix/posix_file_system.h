#pragma once

#include "platform/file_access.h"

namespace parvane {

// File access on a POSIX file system. A clip is written to a nameless file in the
// destination's folder (a hidden one with a short name where the file system has no
// nameless files) and renamed over the destination once it is on disk.
class PosixFileSystem : public FileSystem {
public:
    PathStatus inspect(const std::string& path) const override;
    bool sameFile(const std::string& a, const std::string& b) const override;
    std::unique_ptr<SourceFile> openSource(const std::string& path) override;
    std::unique_ptr<SourceFile> openTitle(const Title& title) override;
    std::unique_ptr<ClipFile> createClip(const std::string& destination) override;
};

} // namespace parvane
