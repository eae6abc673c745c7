#include "command_line.h"

namespace parvane {

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    const auto misuse = [&line](std::string error) {
        line.action = CommandLine::Action::Misuse;
        line.error = std::move(error);
        return line;
    };
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        // "-" alone is a name, as for most tools; "--" ends the options.
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            files.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            line.action = CommandLine::Action::Help;
        } else if (argument == "--version") {
            line.action = CommandLine::Action::Version;
        } else {
            return misuse("unknown option '" + argument + "'");
        }
    }
    if (line.action != CommandLine::Action::Run && (arguments.size() != 1))
        return misuse("--help and --version take nothing else");
    if (files.size() > 1)
        return misuse("more than one file given");
    if (!files.empty())
        line.file = files.front();
    return line;
}

std::string usageLine() {
    return "Usage: parvane [--help | --version | FILE]\n";
}

std::string helpText() {
    return "Usage: parvane [FILE]\n"
           "Cuts a clip out of a DVD video object file (.vob) without re-encoding it.\n"
           "\n"
           "  FILE         open this file at start, as if chosen with Open: a .vob, or a DVD\n"
           "               (its folder, VIDEO_TS.IFO, a VTS_nn_0.IFO or an ISO image)\n"
           "  -h, --help   show this help and exit\n"
           "  --version    show the version and exit\n";
}

} // namespace parvane
