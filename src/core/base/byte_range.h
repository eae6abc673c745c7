#pragma once

#include <cstdint>

namespace parvane {

// A stretch of the source: a zero-based offset and a length in bytes.
struct ByteRange {
    std::int64_t offset = 0;
    std::int64_t length = 0;

    std::int64_t end() const { return offset + length; }
};

} // namespace parvane
