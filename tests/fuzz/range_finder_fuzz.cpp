// libFuzzer: the cell survey and the stream range finder over any bytes, with libdvdread
// reading navigation packs. It must not crash or hang (the sanitizers and libFuzzer's timeout watch
// that), read outside the file or past its read limit, or answer with a range that does not start
// at a pack header inside the file.

#include "core/save/clip_plan.h"
#include "core/stream/cell_survey.h"
#include "core/stream/stream_range.h"
#include "fuzzed_source.h"
#include "platform/dvdread/dvdread_nav_reader.h"
#include "platform/file_access.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

using namespace parvane;

using fuzzing::FuzzedSource;

void expectWholePacks(ByteRange range, const std::uint8_t* data, std::size_t size) {
    static constexpr std::uint8_t kPackStart[] = {0x00, 0x00, 0x01, 0xBA};
    if (range.offset < 0 || range.length <= 0 || range.end() > static_cast<std::int64_t>(size) ||
        std::memcmp(data + range.offset, kPackStart, sizeof kPackStart) != 0)
        std::abort();
}

// The cells a survey finds follow one another over the whole file, each from a pack header.
void expectCells(const std::optional<Title>& title, const std::uint8_t* data, std::size_t size) {
    if (!title)
        return;
    std::int64_t at = 0;
    for (const Cell& cell : title->cells) {
        if (cell.begin != at || cell.end <= cell.begin || !(cell.duration >= 0))
            std::abort();
        if (at > 0)
            expectWholePacks({cell.begin, cell.end - cell.begin}, data, size);
        at = cell.end;
    }
    if (at != static_cast<std::int64_t>(size))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const DvdreadNavReader navPacks;
    FuzzedSource source(data, size);
    try {
        expectCells(surveyCells(source, &navPacks, "fuzzed.vob"), data, size);
    } catch (const SaveError&) {
    }
    StreamRangeFinder finder(source, &navPacks);
    int searches = 0;
    try {
        ++searches;
        const double duration = finder.duration();
        // Marks inside the stream, around its ends and past them.
        for (const auto& [begin, end] : {std::pair{0.25, 0.75}, std::pair{0.0, 1.0},
                                         std::pair{0.5, 0.51}, std::pair{0.9, 3.0}}) {
            searches += 2;
            try {
                expectWholePacks(finder.find(duration * begin, duration * end), data, size);
            } catch (const SaveError&) {
            }
        }
    } catch (const SaveError&) {
    }
    if (finder.bytesRead() > searches * StreamRangeFinder::kBoundaryReadLimit)
        std::abort();
    return 0;
}
