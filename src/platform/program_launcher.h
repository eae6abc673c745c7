#pragma once

#include <string>

namespace parvane {

// The platform's program that opens a web address.
#if defined(_WIN32)
inline constexpr const char* kAddressOpener = "explorer.exe";
#elif defined(__APPLE__)
inline constexpr const char* kAddressOpener = "open";
#else
inline constexpr const char* kAddressOpener = "xdg-open";
#endif

// Window-show styles a started program is asked to use.
enum class ShowStyle { Normal = 1, MinimizedWithFocus = 2 };

// Starts programs detached, without waiting for them.
class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;

    // The first word names the program, the rest are its arguments.
    // Throws std::runtime_error when the program cannot be started.
    virtual void start(const std::string& commandLine, ShowStyle style) = 0;
};

} // namespace parvane
