#pragma once

// Every error the core throws on purpose. Header-only, so the file access library, which
// the core reaches through platform/file_access.h, can throw FileError without linking the
// core.

#include <stdexcept>

namespace parvane {

// A reason the clip cannot be saved; what() is a short plain reason for the user.
class SaveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file operation that failed; what() is a short plain reason for the user.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A number that does not fit where it has to go.
class OverflowError : public std::overflow_error {
public:
    OverflowError() : std::overflow_error("Overflow") {}
};

} // namespace parvane
