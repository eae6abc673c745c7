#pragma once

#include "platform/program_launcher.h"

namespace parvane {

// Starts programs through QProcess, detached. The show style has no counterpart on
// Linux desktops, where the opened program decides how its window appears.
class DesktopLauncher : public ProgramLauncher {
public:
    void start(const std::string& commandLine, ShowStyle style) override;
};

} // namespace parvane
