// Times the save against dd and cp on one large source: the core copy alone, the full save
// through the real window (progress bar and event processing), both with their final
// sync, and from a second source on another file system; measures the largest gap between
// Timer2's ticks during a save, how long "Clip Saved" takes once the bar reads 99 %, and how
// soon a save stops once the window is closed.
// Run by bench/run; prints one line per figure.

#include "core/save/clip_saver.h"
#include "platform/posix/posix_file_system.h"
#include "support/fakes.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace parvane;
using namespace parvane::testing;

namespace {

using Clock = std::chrono::steady_clock;

// Real files; notes when the copy has ended and the final sync begins.
class TimedFileSystem : public HookedFileSystem {
public:
    TimedFileSystem() : HookedFileSystem(posix_) {}

    std::unique_ptr<ClipFile> createClip(const std::string& destination) override {
        struct Timed : ForwardingClipFile {
            using ForwardingClipFile::ForwardingClipFile;
            Clock::time_point* commitStart = nullptr;
            void commit() override {
                *commitStart = Clock::now();
                ForwardingClipFile::commit();
            }
        };
        auto timed = std::make_unique<Timed>(HookedFileSystem::createClip(destination));
        timed->commitStart = &commitStart;
        return timed;
    }

    Clock::time_point commitStart;

private:
    PosixFileSystem posix_;
};

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double timeCommand(const std::string& command) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return seconds(Clock::now() - start);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: save_bench SOURCE OUTPUT_FOLDER [RUNS [SOURCE_ELSEWHERE]]\n");
        return 2;
    }
    const std::string source = argv[1];
    const std::string out = argv[2];
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    const std::string elsewhere = argc > 4 ? argv[4] : "";
    const auto length = static_cast<std::int64_t>(std::filesystem::file_size(source));
    // One second of playing time per MiB: the clip runs from the first to the last MiB.
    const double duration = static_cast<double>(length) / (1 << 20);
    const std::int32_t begin = 1;
    const std::int32_t end = static_cast<std::int32_t>(duration) - 1;
    const std::int64_t firstOffset = std::int64_t{begin} * (1 << 20) - 1;
    const std::int64_t bytes = (std::int64_t{end} - begin) * (1 << 20) / 20480 * 20480 + 20481;
    const std::string clip = out + "/clip.vob";
    const auto ddFrom = [&](const std::string& from) {
        return "dd if='" + from + "' of='" + clip +
               "' bs=20480 iflag=skip_bytes,count_bytes skip=" + std::to_string(firstOffset) +
               " count=" + std::to_string(bytes) + " status=none";
    };
    const std::string dd = ddFrom(source);
    // cp copies whole files: give it one of the clip's size beside each source.
    const auto clipSized = [&](const std::string& from) {
        const std::string path = from + ".clip-sized";
        if (std::system((ddFrom(from) + " && mv '" + clip + "' '" + path + "'").c_str()) != 0)
            std::exit(1);
        return path;
    };
    const std::string cpSource = clipSized(source);
    const std::string cpElsewhere = elsewhere.empty() ? "" : clipSized(elsewhere);
    const auto cp = [&](const std::string& from) {
        return "cp --reflink=never '" + from + "' '" + clip + "'";
    };

    std::vector<double> ddTimes, cpTimes, cpSyncTimes, coreCopy, coreTotal, windowCopy, windowTotal,
        cpElsewhereTimes, windowElsewhere, stopTimes, nearlyFullToSaved;
    double worstTickGap = 0;
    int fullAtSaved = 0;
    // Each measurement starts with no clip and nothing left to write back from the last one.
    const auto settle = [&] {
        std::filesystem::remove(clip);
        if (std::system("sync") != 0)
            std::exit(1);
    };
    const auto failed = [](const char* what) {
        std::fprintf(stderr, "%s\n", what);
        std::exit(1);
    };
    const auto measureCore = [&] {
        ClipState state{begin, end, source, "", {}};
        FakePlayer player;
        player.mediaDuration = duration;
        FakeDialog dialog;
        dialog.answers.push_back(clip);
        FakeMessages messages;
        FakeProgress progress;
        FakePump pump;
        TimedFileSystem files;
        FakeSaveView view;
        ClipSaver saver(state, {player, dialog, messages, progress, pump, files, view});
        const auto start = Clock::now();
        saver.save();
        coreTotal.push_back(seconds(Clock::now() - start));
        coreCopy.push_back(seconds(files.commitStart - start));
        if (std::filesystem::file_size(clip) != static_cast<std::uintmax_t>(bytes))
            failed("the core's clip has the wrong size");
    };
    struct WindowTimes {
        double copy = 0; // until the final sync begins
        double total = 0;
    };
    // A save through the real window; with `closeAfter`, the window is closed that long
    // into the copy and the time until the save has stopped is recorded.
    const auto saveInWindow = [&](const std::string& from,
                                  std::optional<double> closeAfter) -> WindowTimes {
        FakePlayer player;
        player.mediaDuration = duration;
        FakeWebPane web;
        FakeDialog dialog;
        dialog.answers.push_back(clip);
        FakeMessages messages;
        FakeLinks links;
        TimedFileSystem files;
        MainWindowParts parts{new QWidget, &player, new QWidget, &web,        &files,
                              &links,      &dialog, &messages,   SavePacing{}};
        MainWindow window(parts);
        window.show();
        window.state() = ClipState{begin, end, from, "", {}};
        std::vector<Clock::time_point> ticks;
        QObject::connect(window.findChild<QTimer*>("Timer2"), &QTimer::timeout,
                         [&] { ticks.push_back(Clock::now()); });
        // When the bar first reads 99 %, and what it reads when "Clip Saved" comes.
        auto* bar = window.findChild<QProgressBar*>("pb");
        std::optional<Clock::time_point> nearlyFull;
        QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
            if (!nearlyFull && value > 0 && value >= 0.99 * bar->maximum())
                nearlyFull = Clock::now();
        });
        Clock::time_point savedAt;
        bool barFull = false;
        messages.whileShown = [&] {
            savedAt = Clock::now();
            barFull = bar->value() == bar->maximum();
        };
        if (!QTest::qWaitForWindowExposed(&window))
            failed("the window did not show");
        Clock::time_point closedAt;
        if (closeAfter)
            QTimer::singleShot(static_cast<int>(*closeAfter * 1000), &window, [&] {
                closedAt = Clock::now();
                window.close();
            });
        const auto start = Clock::now();
        ticks.push_back(start);
        QTest::mouseClick(window.findChild<QPushButton*>("Command7"), Qt::LeftButton);
        const auto stopped = Clock::now();
        if (closeAfter) {
            if (!messages.shown.empty() || std::filesystem::exists(clip))
                failed("closing the window did not stop the save");
            stopTimes.push_back(seconds(stopped - closedAt));
            return {};
        }
        ticks.push_back(files.commitStart);
        for (std::size_t i = 1; i < ticks.size(); ++i)
            worstTickGap = std::max(worstTickGap, seconds(ticks[i] - ticks[i - 1]));
        if (messages.shown != std::vector<std::string>{"Clip Saved"} || !nearlyFull)
            failed("the window's save failed");
        nearlyFullToSaved.push_back(seconds(savedAt - *nearlyFull));
        fullAtSaved += barFull ? 1 : 0;
        return {seconds(files.commitStart - start), seconds(stopped - start)};
    };
    std::vector<std::function<void()>> measurements = {
        [&] { ddTimes.push_back(timeCommand(dd)); },
        [&] { cpTimes.push_back(timeCommand(cp(cpSource))); },
        [&] { cpSyncTimes.push_back(timeCommand(cp(cpSource) + " && sync '" + clip + "'")); },
        measureCore,
        [&] {
            const WindowTimes times = saveInWindow(source, std::nullopt);
            windowCopy.push_back(times.copy);
            windowTotal.push_back(times.total);
        },
        [&] { saveInWindow(source, 0.1); },
    };
    if (!elsewhere.empty()) {
        measurements.push_back([&] { cpElsewhereTimes.push_back(timeCommand(cp(cpElsewhere))); });
        measurements.push_back(
            [&] { windowElsewhere.push_back(saveInWindow(elsewhere, std::nullopt).copy); });
    }
    // The order turns each run, so no method always follows the same one.
    for (int run = 0; run < runs; ++run) {
        for (std::size_t i = 0; i < measurements.size(); ++i) {
            settle();
            measurements[(i + static_cast<std::size_t>(run)) % measurements.size()]();
        }
    }
    settle();
    std::filesystem::remove(cpSource);
    if (!cpElsewhere.empty())
        std::filesystem::remove(cpElsewhere);

    const double mb = static_cast<double>(bytes) / 1e6;
    const auto report = [&](const char* what, const std::vector<double>& times,
                            const std::vector<double>& reference, const char* referenceName) {
        const double time = median(times);
        std::printf("%-36s %7.3f s %6.0f MB/s  %.2fx %s\n", what, time, mb / time,
                    median(reference) / time, referenceName);
    };
    std::printf("clip of %.0f MB from %s, medians of %d runs\n", mb, source.c_str(), runs);
    report("dd bs=20480", ddTimes, ddTimes, "dd");
    report("cp --reflink=never", cpTimes, cpTimes, "cp");
    report("core copy (no sync)", coreCopy, cpTimes, "cp");
    report("window save (no sync)", windowCopy, cpTimes, "cp");
    report("window save (no sync)", windowCopy, ddTimes, "dd");
    report("cp --reflink=never + sync FILE", cpSyncTimes, cpSyncTimes, "cp+sync");
    report("core save with sync", coreTotal, cpSyncTimes, "cp+sync");
    report("window save with sync", windowTotal, cpSyncTimes, "cp+sync");
    if (!elsewhere.empty()) {
        std::printf("from %s:\n", elsewhere.c_str());
        report("cp --reflink=never", cpElsewhereTimes, cpElsewhereTimes, "cp");
        report("window save (no sync)", windowElsewhere, cpElsewhereTimes, "cp");
    }
    std::printf("largest gap between Timer2 ticks during a window save: %.3f s\n", worstTickGap);
    std::printf(
        "from the bar at 99 %% to \"Clip Saved\" in the window: median %.3f s, worst %.3f s; "
        "the bar full at \"Clip Saved\" in %d of %zu saves\n",
        median(nearlyFullToSaved),
        *std::max_element(nearlyFullToSaved.begin(), nearlyFullToSaved.end()), fullAtSaved,
        nearlyFullToSaved.size());
    std::printf("save stopped after the window was closed mid-copy: median %.3f s, worst %.3f s\n",
                median(stopTimes), *std::max_element(stopTimes.begin(), stopTimes.end()));
    return 0;
}
