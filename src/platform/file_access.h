#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace parvane {

// A file operation that failed; what() is a short plain reason for the user.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A source opened for reading only.
class SourceFile {
public:
    virtual ~SourceFile() = default;

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
    // Syncs every byte to disk and moves the file over the destination.
    virtual void commit() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Whether anything exists at the path, readable or not.
    virtual bool exists(const std::string& path) const = 0;
    // Whether both paths name the same existing file, through whatever path form.
    virtual bool sameFile(const std::string& a, const std::string& b) const = 0;
    virtual std::unique_ptr<SourceFile> openSource(const std::string& path) = 0;
    virtual std::unique_ptr<ClipFile> createClip(const std::string& destination) = 0;
};

} // namespace parvane
