#pragma once

#include "core/base/errors.h"
#include "core/base/title.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace parvane {

// A source opened for reading only.
class SourceFile {
public:
    virtual ~SourceFile() = default;

    // The size when the file was opened.
    virtual std::int64_t size() const = 0;
    // Reads up to `count` bytes at the zero-based offset; returns how many were read,
    // fewer only at the end of the file.
    virtual std::size_t readAt(std::int64_t offset, std::byte* buffer, std::size_t count) = 0;
};

// A new file that replaces its destination only when commit() succeeds. Destroyed
// without a commit, it leaves no trace and the destination as it was.
class ClipFile {
public:
    virtual ~ClipFile() = default;

    virtual void writeAt(std::int64_t offset, const std::byte* data, std::size_t count) = 0;
    // Copies up to `count` bytes of the source without passing them through this process;
    // returns how many were copied (fewer only at the source's end), or nothing when
    // this pair of files cannot be copied that way and the caller must read and write.
    virtual std::optional<std::size_t> copyFrom(SourceFile& source, std::int64_t sourceOffset,
                                                std::int64_t offset, std::size_t count) {
        (void)source, (void)sourceOffset, (void)offset, (void)count;
        return std::nullopt;
    }
    // Starts writing `count` bytes from `offset` to disk and returns at once.
    virtual void startWriteBack(std::int64_t offset, std::int64_t count) {
        (void)offset, (void)count;
    }
    // Returns once the bytes from `offset` whose writing was started are on disk. Throws
    // FileError when writing them failed.
    virtual void awaitWriteBack(std::int64_t offset, std::int64_t count) {
        (void)offset, (void)count;
    }
    // Syncs every byte to disk and moves the file over the destination, keeping a
    // replaced file's mode, owner and group.
    virtual void commit() = 0;
};

// What is at a destination path before a save.
struct PathStatus {
    enum class Kind {
        Absent,
        File,       // a regular file, or a link that leads to one or to nothing
        NotAFile,   // a folder, device, pipe or socket: never replaced
        Unknowable, // the path cannot be examined; `reason` says why
    };
    Kind kind = Kind::Absent;
    std::string reason;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual PathStatus inspect(const std::string& path) const = 0;
    // Whether both paths name the same existing file, through whatever path form.
    virtual bool sameFile(const std::string& a, const std::string& b) const = 0;
    virtual std::unique_ptr<SourceFile> openSource(const std::string& path) = 0;
    // A DVD title's bytes in playing order, read through its extents as one source.
    virtual std::unique_ptr<SourceFile> openTitle(const Title& title) {
        (void)title;
        throw FileError("DVD titles cannot be read here");
    }
    virtual std::unique_ptr<ClipFile> createClip(const std::string& destination) = 0;
};

} // namespace parvane
