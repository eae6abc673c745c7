#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace parvane {

// Runs `work` in a child process of its own and returns what it returned, or nothing when
// the child did not finish: it crashed, was killed, threw, or ran past `limit` (and was
// then killed). For code that reads untrusted files through a library that may corrupt
// memory on a damaged one: whatever it breaks dies with the child.
//
// The child is forked, so `work` runs with the caller's memory as it was, in one thread: it
// must not wait on locks other threads may have held (no Qt, no player), and its output is
// its only effect. Nothing it leaves behind (open files, exit handlers) is run or flushed.
//
// Throws std::system_error when no child can be started.
std::optional<std::string> callInChild(const std::function<std::string()>& work,
                                       std::chrono::milliseconds limit);

} // namespace parvane
