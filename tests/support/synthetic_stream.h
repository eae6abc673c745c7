#pragma once

#include "platform/file_access.h"

#include <cstdint>
#include <vector>

namespace parvane::testing {

// How a SyntheticStream is laid out.
struct SyntheticLayout {
    enum class Navigation {
        Timed, // navigation packs with their VOBU times, as dvdauthor writes them
        Blank, // navigation packs with times 0, as ffmpeg writes them
        None,  // no navigation packs
    };
    std::int64_t size = std::int64_t{64} << 20;
    Navigation navigation = Navigation::Timed;
    std::int64_t firstClock = 0;   // the first pack's clock reference, 90 kHz, 33 bits
    std::int64_t resetAtPack = -1; // from this pack on the clock starts again at firstClock
    bool timestamps = true;
    // Packs that open a new cell, whose clock starts again at firstClock: each should open
    // a picture group (a multiple of kGroupPacks).
    std::vector<std::int64_t> cellStarts;
    // Navigation packs that say their VOBU's cell (object n, cell 1 for the n-th cell) and
    // its elapsed time, as dvdauthor writes them; else all zero, as ffmpeg does.
    bool cellIds = false;
    // From this pack on the clock runs `jumpTicks` ahead.
    std::int64_t jumpAtPack = -1;
    std::int64_t jumpTicks = 0;
};

// A DVD-like MPEG-2 program stream made up on the fly, of any size, with exact times:
// 2048-byte packs whose clock advances 150 ticks a pack (below the mux rate), a picture
// every 24 packs shown 0.5 s after its pack arrives, and a picture group of 15 pictures
// (0.6 s) every 360 packs, opened by a navigation pack. Audio packets sit in between.
// Counts the bytes read.
class SyntheticStream : public SourceFile {
public:
    static constexpr std::int64_t kPackSize = 2048;
    static constexpr std::int64_t kGroupPacks = 360;
    static constexpr std::int64_t kGroupTicks = kGroupPacks * 150; // 0.6 s

    explicit SyntheticStream(SyntheticLayout layout) : layout_(layout) {}

    std::int64_t size() const override { return layout_.size; }
    std::size_t readAt(std::int64_t offset, std::byte* buffer, std::size_t count) override;

    // Where picture group `group` starts (its navigation pack, or without them its first
    // video pack), or the end of the stream past the last group. Group g starts showing
    // 0.6 g seconds after the stream's start.
    std::int64_t groupOffset(std::int64_t group) const;

    std::int64_t bytesRead = 0;

private:
    void makePack(std::int64_t index, std::byte* pack) const;

    SyntheticLayout layout_;
};

} // namespace parvane::testing
