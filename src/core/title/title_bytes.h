#pragma once

// Sources that read part of a DVD title's bytes, for the finders that search a cell or a
// stretch as if it were a file of its own.

#include "core/base/title.h"

#include "platform/file_access.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace parvane {

// One cell's bytes as a file of their own, read over the title's extents.
class CellSource : public SourceFile {
public:
    CellSource(FileSystem& files, const Title& title, const Cell& cell)
        : files_(files), title_(title), begin_(cell.begin), size_(cell.end - cell.begin) {}

    std::int64_t size() const override { return size_; }
    std::size_t readAt(std::int64_t offset, std::byte* buffer, std::size_t count) override;

private:
    // From the one extent that holds `at`, no further than its end.
    std::size_t readPiece(std::int64_t at, std::byte* buffer, std::int64_t count);

    FileSystem& files_;
    const Title& title_;
    std::int64_t begin_;
    std::int64_t size_;
    std::map<std::string, std::unique_ptr<SourceFile>> open_;
};

// A stretch of another source seen as a source of its own, its bytes counted as they are
// read.
class SourceSlice : public SourceFile {
public:
    SourceSlice(SourceFile& source, std::int64_t offset, std::int64_t length)
        : source_(source), offset_(offset), length_(length) {}

    std::int64_t size() const override { return length_; }
    std::size_t readAt(std::int64_t offset, std::byte* buffer, std::size_t count) override;
    std::int64_t bytesRead() const { return bytesRead_; }

private:
    SourceFile& source_;
    std::int64_t offset_;
    std::int64_t length_;
    std::int64_t bytesRead_ = 0;
};

} // namespace parvane
