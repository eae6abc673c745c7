// Times the save against dd on one large source: the core copy alone, the full save
// through the real window (progress bar and event processing), and both with their
// final sync. Run by bench/run; prints one line per figure.

#include "core/clip_saver.h"
#include "platform/posix/posix_file_system.h"
#include "support/fakes.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace parvane;
using namespace parvane::testing;

namespace {

using Clock = std::chrono::steady_clock;

// Real files; notes when the copy has ended and the final sync begins.
class TimedFileSystem : public DelegatingFileSystem {
public:
    TimedFileSystem() : DelegatingFileSystem(posix_) {}

    std::unique_ptr<ClipFile> createClip(const std::string& destination) override {
        struct Timed : ClipFile {
            std::unique_ptr<ClipFile> real;
            Clock::time_point* commitStart;
            void writeAt(std::int64_t at, const std::byte* data, std::size_t n) override {
                real->writeAt(at, data, n);
            }
            void commit() override {
                *commitStart = Clock::now();
                real->commit();
            }
        };
        auto timed = std::make_unique<Timed>();
        timed->real = DelegatingFileSystem::createClip(destination);
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
        std::fprintf(stderr, "usage: save_bench SOURCE OUTPUT_FOLDER [RUNS]\n");
        return 2;
    }
    const std::string source = argv[1];
    const std::string out = argv[2];
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    const auto length = static_cast<std::int64_t>(std::filesystem::file_size(source));
    // One second of playing time per MiB: the clip runs from the first to the last MiB.
    const double duration = static_cast<double>(length) / (1 << 20);
    const std::int32_t begin = 1;
    const std::int32_t end = static_cast<std::int32_t>(duration) - 1;
    const std::int64_t firstOffset = std::int64_t{begin} * (1 << 20) - 1;
    const std::int64_t bytes = (std::int64_t{end} - begin) * (1 << 20) / 20480 * 20480 + 20481;
    const std::string clip = out + "/clip.vob";
    const std::string dd =
        "dd if='" + source + "' of='" + clip +
        "' bs=20480 iflag=skip_bytes,count_bytes skip=" + std::to_string(firstOffset) +
        " count=" + std::to_string(bytes) + " status=none";

    std::vector<double> ddTimes, ddSyncTimes, coreCopy, coreTotal, windowCopy, windowTotal;
    double worstTickGap = 0;
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
        ClipState state{begin, end, source};
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
    const auto measureWindow = [&] {
        FakePlayer player;
        player.mediaDuration = duration;
        FakeWebPane web;
        FakeDialog dialog;
        dialog.answers.push_back(clip);
        FakeMessages messages;
        FakeLauncher launcher;
        TimedFileSystem files;
        MainWindowParts parts{new QWidget, &player, new QWidget, &web,        &files,
                              &launcher,   &dialog, &messages,   SavePacing{}};
        MainWindow window(parts);
        window.show();
        window.state() = ClipState{begin, end, source};
        std::vector<Clock::time_point> ticks;
        QObject::connect(window.findChild<QTimer*>("Timer2"), &QTimer::timeout,
                         [&] { ticks.push_back(Clock::now()); });
        QTest::qWait(50);
        const auto start = Clock::now();
        ticks.push_back(start);
        QTest::mouseClick(window.findChild<QPushButton*>("Command7"), Qt::LeftButton);
        windowTotal.push_back(seconds(Clock::now() - start));
        windowCopy.push_back(seconds(files.commitStart - start));
        ticks.push_back(files.commitStart);
        for (std::size_t i = 1; i < ticks.size(); ++i)
            worstTickGap = std::max(worstTickGap, seconds(ticks[i] - ticks[i - 1]));
        if (messages.shown != std::vector<std::string>{"Clip Saved"})
            failed("the window's save failed");
    };
    const std::vector<std::function<void()>> measurements = {
        [&] { ddTimes.push_back(timeCommand(dd)); },
        [&] { ddSyncTimes.push_back(timeCommand(dd + " conv=fsync")); },
        measureCore,
        measureWindow,
    };
    // The order turns each run, so no method always follows the same one.
    for (int run = 0; run < runs; ++run) {
        for (std::size_t i = 0; i < measurements.size(); ++i) {
            settle();
            measurements[(i + static_cast<std::size_t>(run)) % measurements.size()]();
        }
    }
    settle();

    const double mb = static_cast<double>(bytes) / 1e6;
    const auto report = [&](const char* what, double time, double reference) {
        std::printf("%-34s %8.3f s %8.0f MB/s  %.2fx dd\n", what, time, mb / time,
                    reference / time);
    };
    std::printf("clip of %.0f MB from %s, medians of %d runs\n", mb, source.c_str(), runs);
    report("dd bs=20480", median(ddTimes), median(ddTimes));
    report("core copy (no sync)", median(coreCopy), median(ddTimes));
    report("window save (no sync)", median(windowCopy), median(ddTimes));
    report("dd bs=20480 conv=fsync", median(ddSyncTimes), median(ddSyncTimes));
    report("core save with sync", median(coreTotal), median(ddSyncTimes));
    report("window save with sync", median(windowTotal), median(ddSyncTimes));
    std::printf("largest gap between Timer2 ticks during a window save: %.3f s\n", worstTickGap);
    return 0;
}
