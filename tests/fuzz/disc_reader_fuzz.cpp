// libFuzzer: the disc reader over damaged IFO files. Each input is a VIDEO_TS folder's two
// IFO files (VIDEO_TS.IFO and VTS_01_0.IFO: a 4-byte big-endian length of the first, then
// the first, then the second) beside a VOB of the title set. The reader must not crash or
// hang, must refuse with FileError or give titles whose bytes lie inside the VOB, in
// order, with cells and chapters on one timeline.
//
// The reader parses the IFO files in a child process, as the program does, so what breaks
// libdvdread there is a refusal here too. libFuzzer sees only this process's coverage: the
// mutations are guided by the refusals and titles, not by the paths inside the library.
//
// PARVANE_FUZZ_VOB names the VOB to place beside them (the seeds' own); without it, a few
// empty packs.

#include "platform/dvdread/dvdread_disc_reader.h"
#include "platform/file_access.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <pthread.h>
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace parvane;

// One folder for the whole run, in memory where the system has it.
const fs::path& folder() {
    static const fs::path made = [] {
        const fs::path base =
            fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        const fs::path path = base / ("parvane-ifo-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(path / "VIDEO_TS");
        const fs::path vob = path / "VIDEO_TS" / "VTS_01_1.VOB";
        if (const char* given = std::getenv("PARVANE_FUZZ_VOB")) {
            fs::copy_file(given, vob, fs::copy_options::overwrite_existing);
        } else {
            std::ofstream out(vob, std::ios::binary);
            const std::string pack(2048, '\0');
            for (int i = 0; i < 64; ++i)
                out << pack;
        }
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(folder(), ignored);
        });
        return path;
    }();
    return made;
}

void write(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void expectPlausible(const Disc& disc, std::int64_t vobSize) {
    if (disc.titles.empty() || disc.startTitle >= disc.titles.size() || !(disc.startSeconds >= 0))
        std::abort();
    for (const Title& title : disc.titles) {
        std::int64_t at = 0;
        for (const Extent& extent : title.extents)
            if (extent.offset < 0 || extent.length <= 0 || extent.offset + extent.length > vobSize)
                std::abort();
        double clock = 0;
        for (const Cell& cell : title.cells) {
            if (cell.begin != at || cell.end <= cell.begin || cell.start != clock ||
                !(cell.duration >= 0) || !std::isfinite(cell.duration))
                std::abort();
            at = cell.end;
            clock += cell.duration;
        }
        if (at != title.size() || !(title.duration() > 0))
            std::abort();
        for (const double chapter : title.chapters)
            if (!(chapter >= 0 && chapter <= title.duration()))
                std::abort();
    }
}

// The reader's child processes are forks of this one: what breaks the library there is the
// refusal under test, not a find. libFuzzer's crash handler, which would save the input as
// a crash, is taken out of them, and their reports go to files of their own (contained.PID)
// for the run to count.
void inReaderChild() {
    __sanitizer_set_death_callback(nullptr);
    __sanitizer_set_report_path("contained");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    pthread_atfork(nullptr, nullptr, inReaderChild);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    const std::size_t first = std::size_t{data[0]} << 24 | std::size_t{data[1]} << 16 |
                              std::size_t{data[2]} << 8 | data[3];
    if (first > size - 4)
        return 0;
    const fs::path videoTs = folder() / "VIDEO_TS";
    write(videoTs / "VIDEO_TS.IFO", data + 4, first);
    write(videoTs / "VTS_01_0.IFO", data + 4 + first, size - 4 - first);
    try {
        if (const auto disc = DvdreadDiscReader().read(videoTs.string()))
            expectPlausible(*disc,
                            static_cast<std::int64_t>(fs::file_size(videoTs / "VTS_01_1.VOB")));
        else
            std::abort(); // the folder holds VIDEO_TS.IFO: it is a disc, readable or not
    } catch (const FileError&) {
    }
    return 0;
}
