#pragma once

#include "platform/file_access.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace parvane::fuzzing {

// The fuzzer's bytes as a source file; a read outside them aborts, which libFuzzer reports.
class FuzzedSource : public SourceFile {
public:
    FuzzedSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::int64_t size() const override { return static_cast<std::int64_t>(size_); }
    std::size_t readAt(std::int64_t offset, std::byte* buffer, std::size_t count) override {
        if (offset < 0 || static_cast<std::size_t>(offset) >= size_ || count == 0)
            std::abort();
        const std::size_t n = std::min(count, size_ - static_cast<std::size_t>(offset));
        std::memcpy(buffer, data_ + offset, n);
        return n;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

} // namespace parvane::fuzzing
