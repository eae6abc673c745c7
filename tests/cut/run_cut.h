#pragma once

// Runs the built parvane-cut, as a user would, and keeps what it printed.

#include "support/temp_dir.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace parvane::testing {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Each argument is passed as it is; `scratch` holds the output while it runs.
inline Outcome runParvaneCut(const std::vector<std::string>& args, const TempDir& scratch) {
    std::string command = "'" PARVANE_CUT "'";
    for (const auto& arg : args)
        command += " '" + arg + "'";
    command += " >" + scratch.file("out") + " 2>" + scratch.file("err");
    const int status = std::system(command.c_str());
    const auto text = [&scratch](const char* name) {
        const std::vector<std::uint8_t> bytes = readFile(scratch.file(name));
        std::filesystem::remove(scratch.file(name));
        return std::string(bytes.begin(), bytes.end());
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text("out"), text("err")};
}

} // namespace parvane::testing
