#include "cut_command.h"

#include "clip_plan.h"
#include "clip_writer.h"
#include "errors.h"
#include "numbers.h"
#include "stream_range.h"
#include "time_text.h"

#include "platform/file_access.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <ostream>
#include <stdexcept>

namespace parvane {

namespace {

constexpr const char* kUsage =
    "Usage: parvane-cut SOURCE DEST --from TIME --to TIME [--by stream|bytes]\n"
    "                   [--duration SECONDS] [--force]\n"
    "Copies the stretch of an MPEG-2 program stream (a DVD .vob) between two times into\n"
    "DEST, byte for byte.\n"
    "  TIME is seconds (decimals allowed) or [H:]MM:SS[.fff], as the player counts them.\n"
    "  --by stream     whole picture groups around the marks, found from the stream's own\n"
    "                  times; every audio, subpicture and navigation pack kept (default)\n"
    "  --by bytes      the window's Save: the bytes in proportion to the marks, rounded to\n"
    "                  whole seconds\n"
    "  --duration S    the playing time --by bytes divides by (default: from the stream's\n"
    "                  first and last timestamps)\n"
    "  --force         replace DEST when it exists\n"
    "  --help, --version\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Request {
    std::string source;
    std::string destination;
    double from = 0;
    double to = 0;
    bool byBytes = false;
    std::optional<double> duration;
    bool force = false;
    bool help = false;
    bool version = false;
};

double timeValue(const std::string& option, const std::string& text) {
    const auto seconds = parseTime(text);
    if (!seconds)
        throw UsageError(option + " takes seconds or [H:]MM:SS[.fff], not \"" + text + "\"");
    return *seconds;
}

Request parse(const std::vector<std::string>& args) {
    Request request;
    std::vector<std::string> paths;
    bool haveFrom = false;
    bool haveTo = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        if (optionsEnded || name.size() < 2 || name[0] != '-') {
            paths.push_back(name);
            continue;
        }
        std::optional<std::string> attached; // --from=12
        if (const auto equals = name.find('='); name.rfind("--", 0) == 0 && equals != name.npos) {
            attached = name.substr(equals + 1);
            name.resize(equals);
        }
        const auto value = [&] {
            if (attached)
                return *attached;
            if (i + 1 >= args.size())
                throw UsageError(name + " needs a value");
            return args[++i];
        };
        if (name == "--") {
            optionsEnded = true;
        } else if (name == "--help" || name == "-h") {
            request.help = true;
        } else if (name == "--version") {
            request.version = true;
        } else if (name == "--force") {
            request.force = true;
        } else if (name == "--from") {
            request.from = timeValue(name, value());
            haveFrom = true;
        } else if (name == "--to") {
            request.to = timeValue(name, value());
            haveTo = true;
        } else if (name == "--by") {
            const std::string by = value();
            if (by != "stream" && by != "bytes")
                throw UsageError("--by takes stream or bytes, not \"" + by + "\"");
            request.byBytes = by == "bytes";
        } else if (name == "--duration") {
            request.duration = timeValue(name, value());
            if (!(*request.duration > 0))
                throw UsageError("--duration must be more than 0");
        } else {
            throw UsageError("unknown option " + name);
        }
    }
    if (request.help || request.version)
        return request;
    if (paths.size() != 2)
        throw UsageError("give a SOURCE and a DEST");
    if (!haveFrom || !haveTo)
        throw UsageError("give the times with --from and --to");
    request.source = paths[0];
    request.destination = paths[1];
    return request;
}

std::string sizeText(std::int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
    return text;
}

// The one-line meter: redrawn at most ten times a second.
class Meter {
public:
    Meter(std::ostream& err, bool shown) : err_(err), shown_(shown) {}

    void show(std::int64_t copied, std::int64_t total) {
        if (!shown_)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (drawn_ && copied < total && now - last_ < std::chrono::milliseconds(100))
            return;
        last_ = now;
        drawn_ = true;
        const auto percent = total > 0 ? copied * 100 / total : 100;
        err_ << "\rparvane-cut: " << percent << "% of " << sizeText(total) << std::flush;
    }

    // Ends the meter's line, so what follows starts on its own.
    void end() {
        if (drawn_)
            err_ << '\n';
        drawn_ = false;
    }

private:
    std::ostream& err_;
    bool shown_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point last_;
};

void cut(const Request& request, const CutEnvironment& environment, Meter& meter) {
    FileSystem& files = environment.files;
    if (!(request.from < request.to))
        throw SaveError("the begin mark is not before the end mark");
    switch (checkDestination(files, request.destination, request.source)) {
    case Destination::New:
        break;
    case Destination::Existing:
        if (!request.force)
            throw SaveError("the destination exists (--force replaces it)");
        break;
    case Destination::Source:
        throw SaveError("the destination is the source file");
    }

    const auto plan = [&](SourceFile& source) -> ByteRange {
        if (request.byBytes) {
            // The window's marks: whole seconds, rounded as the window rounds the position.
            const std::int32_t begin = roundToInt32(request.from);
            const std::int32_t end = roundToInt32(request.to);
            if (!(begin < end))
                throw SaveError("the marks are the same whole second");
            const double duration =
                request.duration ? *request.duration
                                 : StreamRangeFinder(source, environment.navPacks).duration();
            return planClip(source.size(), duration, begin, end).bytes(source.size());
        }
        return StreamRangeFinder(source, environment.navPacks).find(request.from, request.to);
    };
    const auto showProgress = [&](const ByteRange& range) {
        return [&meter, length = range.length](std::int64_t copied) {
            meter.show(copied, length);
            return true;
        };
    };
    writeClip(files, request.source, request.destination, plan, showProgress);
    meter.end();
}

} // namespace

int runCut(const std::vector<std::string>& args, const CutEnvironment& environment) {
    Request request;
    try {
        request = parse(args);
    } catch (const UsageError& error) {
        environment.err << "parvane-cut: " << error.what() << "\n" << kUsage;
        return 2;
    }
    if (request.help) {
        environment.out << kUsage;
        return 0;
    }
    if (request.version) {
        environment.out << "parvane-cut " << environment.version << "\n";
        return 0;
    }

    Meter meter(environment.err, environment.progressMeter);
    const auto fail = [&](const std::string& reason) {
        meter.end();
        environment.err << "parvane-cut: clip not saved: " << reason << "\n";
        return 1;
    };
    try {
        cut(request, environment, meter);
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    return 0;
}

} // namespace parvane
