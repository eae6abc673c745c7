#include "core/save/cut_command.h"

#include "core/base/errors.h"
#include "core/base/numbers.h"
#include "core/base/time_text.h"
#include "core/edges/exact_clip.h"
#include "core/save/clip_plan.h"
#include "core/save/clip_writer.h"
#include "core/stream/cell_survey.h"
#include "core/stream/stream_range.h"
#include "core/title/title_range.h"

#include "platform/disc_reader.h"
#include "platform/file_access.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <utility>

namespace parvane {

namespace {

// Laid out as help2man reads it: the build makes parvane-cut's manual page from it.
constexpr const char* kUsage =
    "Usage: parvane-cut SOURCE DEST --from TIME --to TIME [OPTION]...\n"
    "  or:  parvane-cut SOURCE DEST --chapters A-B [OPTION]...\n"
    "  or:  parvane-cut --list SOURCE\n"
    "Copies the stretch of an MPEG-2 program stream (a DVD .vob) or of a DVD title between\n"
    "two times into DEST, byte for byte.\n"
    "\n"
    "SOURCE is a .vob, or a DVD: a VIDEO_TS folder or the folder above it, VIDEO_TS.IFO, a\n"
    "VTS_nn_0.IFO, an ISO image, or a VTS_nn_m.VOB (which stands for its title).\n"
    "TIME is seconds (decimals allowed) or [H:]MM:SS[.fff], as the player counts them: on a\n"
    "DVD on the title's timeline, on a .vob whose clocks start again on one timeline\n"
    "through its cells.\n"
    "\n"
    "  --from TIME         where the clip begins\n"
    "  --to TIME           where the clip ends\n"
    "  --chapters A-B      from the start of chapter A to the end of chapter B (or A alone)\n"
    "  --title N           the DVD title to cut (default: the one SOURCE names, else the\n"
    "                      one the disc starts, else the longest)\n"
    "  --angle N           the angle of the title to cut, on a title of several (default: 1)\n"
    "  --list              each title of the DVD: its length, its chapters and their starts,\n"
    "                      its audio streams (format, channels, language), its subtitles\n"
    "                      (language) and what of it cannot be read\n"
    "  --by stream         whole picture groups around the marks, found from the stream's\n"
    "                      own times; every audio, subpicture and navigation pack kept\n"
    "                      (default)\n"
    "  --by exact          exactly the pictures from the one on screen at --from to the\n"
    "                      one on screen at --to: whole picture groups copied, the\n"
    "                      pictures at each edge encoded again\n"
    "  --by bytes          the window's Save: the bytes in proportion to the marks,\n"
    "                      rounded to whole seconds\n"
    "  --duration SECONDS  the playing time --by bytes divides by (default: from the\n"
    "                      stream's first and last timestamps)\n"
    "  --force             replace DEST when it exists\n"
    "  -h, --help          show this help and exit\n"
    "  --version           show the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0  the clip was saved\n"
    "  1  it was not; the reason is on standard error\n"
    "  2  a usage error\n";

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
    bool exact = false;
    std::optional<double> duration;
    std::optional<int> title;
    std::optional<int> angle;
    std::optional<std::pair<int, int>> chapters;
    bool list = false;
    bool force = false;
    bool help = false;
    bool version = false;
};

int countValue(const std::string& option, const std::string& text) {
    if (text.empty() || text.size() > 4 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }) ||
        std::stoi(text) < 1)
        throw UsageError(option + " takes a number from 1, not \"" + text + "\"");
    return std::stoi(text);
}

std::pair<int, int> chapterValue(const std::string& text) {
    const auto dash = text.find('-');
    if (dash == std::string::npos) {
        const int chapter = countValue("--chapters", text);
        return {chapter, chapter};
    }
    const int first = countValue("--chapters", text.substr(0, dash));
    const int last = countValue("--chapters", text.substr(dash + 1));
    if (last < first)
        throw UsageError("--chapters takes A-B with A not after B, not \"" + text + "\"");
    return {first, last};
}

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
        } else if (name == "--list") {
            request.list = true;
        } else if (name == "--title") {
            request.title = countValue(name, value());
        } else if (name == "--angle") {
            request.angle = countValue(name, value());
        } else if (name == "--chapters") {
            request.chapters = chapterValue(value());
        } else if (name == "--from") {
            request.from = timeValue(name, value());
            haveFrom = true;
        } else if (name == "--to") {
            request.to = timeValue(name, value());
            haveTo = true;
        } else if (name == "--by") {
            const std::string by = value();
            if (by != "stream" && by != "bytes" && by != "exact")
                throw UsageError("--by takes stream, exact or bytes, not \"" + by + "\"");
            request.byBytes = by == "bytes";
            request.exact = by == "exact";
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
    if (request.list) {
        if (paths.size() != 1)
            throw UsageError("--list takes one SOURCE");
        request.source = paths[0];
        return request;
    }
    if (paths.size() != 2)
        throw UsageError("give a SOURCE and a DEST");
    if (request.chapters && (request.byBytes || request.exact))
        throw UsageError("--chapters copies whole cells: --by " +
                         std::string(request.exact ? "exact" : "bytes") + " does not go with it");
    if (request.chapters && (haveFrom || haveTo))
        throw UsageError("give either --chapters or --from and --to");
    if (!request.chapters && (!haveFrom || !haveTo))
        throw UsageError("give the times with --from and --to, or --chapters");
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

// What SOURCE turned out to be.
struct Source {
    std::optional<Disc> disc;
    std::optional<Title> title; // the title to cut, on a DVD
};

Source readSource(const std::string& path, const CutEnvironment& environment) {
    Source source;
    if (environment.discs)
        source.disc = environment.discs->read(path);
    return source;
}

const Title& findTitle(const Disc& disc, const std::optional<int>& number) {
    if (!number)
        return disc.titles.at(disc.startTitle);
    for (const Title& title : disc.titles)
        if (title.number == *number)
            return title;
    throw SaveError("the DVD has no title " + std::to_string(*number));
}

Title chooseTitle(const Disc& disc, const Request& request) {
    const Title& title = findTitle(disc, request.title);
    const int angle = request.angle.value_or(1);
    if (angle > title.angles)
        throw SaveError("title " + std::to_string(title.number) +
                        (title.angles == 1 ? " has one angle"
                                           : " has angles 1 to " + std::to_string(title.angles)));
    return title.withAngle(angle);
}

void cut(const Request& request, const CutEnvironment& environment, Meter& meter) {
    FileSystem& files = environment.files;
    if (!request.chapters && !(request.from < request.to))
        throw SaveError("the begin mark is not before the end mark");
    Source opened = readSource(request.source, environment);
    if (opened.disc)
        opened.title = chooseTitle(*opened.disc, request);
    else if (request.title || request.chapters || request.angle)
        throw SaveError("the source is no DVD, so it has no titles or chapters");
    const Title* title = opened.title ? &*opened.title : nullptr;
    switch (checkDestination(files, request.destination, request.source, title)) {
    case Destination::New:
        break;
    case Destination::Existing:
        if (!request.force)
            throw SaveError("the destination exists (--force replaces it)");
        break;
    case Destination::Source:
        throw SaveError("the destination is the source file");
    }

    std::vector<std::string> notes;
    const auto plan = [&](SourceFile& source) -> ByteRange {
        // A plain file whose clocks start again is cut as the title of its cells.
        std::optional<Title> toCut;
        if (title || !(request.byBytes && request.duration))
            toCut = titleToCut(title, source, environment.navPacks, request.source);
        const Title* cutTitle = toCut ? &*toCut : nullptr;
        if (request.byBytes) {
            // The window's marks: whole seconds, rounded as the window rounds the position.
            const std::int32_t begin = roundToInt32(request.from);
            const std::int32_t end = roundToInt32(request.to);
            if (!(begin < end))
                throw SaveError("the marks are the same whole second");
            double duration = 0;
            if (request.duration)
                duration = *request.duration;
            else if (cutTitle)
                duration = cutTitle->duration();
            else
                duration = StreamRangeFinder(source, environment.navPacks).duration();
            return planClip(source.size(), duration, begin, end).bytes(source.size());
        }
        if (cutTitle) {
            TitleRangeFinder finder(*cutTitle, source, environment.navPacks);
            const TitleRange found = request.chapters ? finder.chapters(request.chapters->first,
                                                                        request.chapters->second)
                                                      : finder.find(request.from, request.to);
            notes = found.notes;
            return found.range;
        }
        StreamRangeFinder finder(source, environment.navPacks);
        const ByteRange range = finder.find(request.from, request.to);
        notes = finder.notesFor(request.to);
        return range;
    };
    const auto showProgress = [&](const ByteRange& range) {
        return [&meter, length = range.length](std::int64_t copied) {
            meter.show(copied, length);
            return true;
        };
    };
    if (request.exact) {
        if (!environment.codec)
            throw SaveError("frame-exact clips cannot be made here");
        const auto planExact = [&](SourceFile& source) {
            const auto toCut = titleToCut(title, source, environment.navPacks, request.source);
            return ExactClipPlanner(toCut ? &*toCut : nullptr, source, environment.navPacks,
                                    *environment.codec)
                .plan(request.from, request.to);
        };
        writeExactClip(files, request.source, request.destination, planExact, showProgress, notes,
                       {}, title);
    } else {
        writeClip(files, request.source, request.destination, plan, showProgress, {}, title);
    }
    meter.end();
    for (const std::string& note : notes)
        environment.err << "parvane-cut: " << note << "\n";
}

// Chapter starts to the millisecond, so each can be given to --from as it is.
std::string chapterTime(double seconds) {
    const auto millis = std::llround(std::max(seconds, 0.0) * 1000);
    char text[16];
    std::snprintf(text, sizeof text, ".%03lld", millis % 1000);
    return clockText(static_cast<double>(millis / 1000)) + text;
}

std::string languageText(const std::string& language) {
    return language.empty() ? "unknown language" : language;
}

void list(const Request& request, const CutEnvironment& environment) {
    const Source opened = readSource(request.source, environment);
    if (!opened.disc)
        throw SaveError("the source is no DVD, so it has no titles");
    for (const Title& title : opened.disc->titles) {
        const std::size_t count = title.chapters.size();
        environment.out << "title " << title.number << ": " << clockText(title.duration()) << ", "
                        << count << (count == 1 ? " chapter" : " chapters");
        if (title.angles > 1)
            environment.out << ", " << title.angles << " angles";
        environment.out << "\n";
        for (std::size_t chapter = 0; chapter < count; ++chapter)
            environment.out << "  chapter " << chapter + 1 << ": "
                            << chapterTime(title.chapters[chapter]) << "\n";
        // Numbered as a player's menu counts them; the stream id is the player's business.
        for (std::size_t i = 0; i < title.audio.size(); ++i) {
            const AudioStream& audio = title.audio[i];
            environment.out << "  audio " << i + 1 << ": " << audio.format;
            if (audio.channels > 0)
                environment.out << ", " << audio.channels
                                << (audio.channels == 1 ? " channel" : " channels");
            environment.out << ", " << languageText(audio.language) << "\n";
        }
        for (std::size_t i = 0; i < title.subpictures.size(); ++i)
            environment.out << "  subtitles " << i + 1 << ": "
                            << languageText(title.subpictures[i].language) << "\n";
        for (const std::string& problem : title.problems)
            environment.out << "  problem: " << problem << "\n";
    }
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
        environment.err << "parvane-cut: " << (request.list ? "" : "clip not saved: ") << reason
                        << "\n";
        return 1;
    };
    try {
        if (request.list)
            list(request, environment);
        else
            cut(request, environment, meter);
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    return 0;
}

} // namespace parvane
