#pragma once

// Runs the built parvane-cut, as a user would, and keeps what it printed; and the window's
// save at stream times on the same marks, to compare with it.

#include "core/save/clip_saver.h"
#include "platform/dvdread/dvdread_nav_reader.h"
#include "platform/posix/posix_file_system.h"
#include "support/fakes.h"
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

// The window's "Save at Stream Times..." of `source` from `begin` to `end` seconds, with its
// dialog answered `destination`: the messages it showed.
inline std::vector<std::string> saveAtStreamTimesInWindow(const std::string& source, double begin,
                                                          double end,
                                                          const std::string& destination) {
    ClipState state;
    state.sourcePath = source;
    state.clipBegin = begin;
    state.clipEnd = end;
    state.beginSeconds = begin;
    state.endSeconds = end;
    PosixFileSystem files;
    DvdreadNavReader navPacks;
    SaverFakes fakes;
    fakes.dialog.answers.push_back(destination);
    ClipSaver(state, fakes.parts(files, &navPacks)).saveAtStreamTimes();
    return fakes.messages.shown;
}

} // namespace parvane::testing
