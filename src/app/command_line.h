#pragma once

#include <string>
#include <vector>

namespace parvane {

// What `parvane [--help | --version | FILE]` was asked to do.
struct CommandLine {
    enum class Action { Run, Help, Version, Misuse };
    Action action = Action::Run;
    std::string file;  // Run: the file to open at start; empty for none
    std::string error; // Misuse: what was wrong, for the user
};

// The arguments after the program's name.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The one-line usage and the full help, each ending in a newline.
std::string usageLine();
std::string helpText();

} // namespace parvane
