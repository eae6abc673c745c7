#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace parvane::edges {

// A picture encoded again, with the times it is decoded and shown at on the source's clock.
struct EdgePicture {
    std::span<const std::byte> bytes;
    std::int64_t pts = 0;
    std::int64_t dts = 0;
    std::int64_t duration = 0; // how long it is shown
    char type = 'I';
    bool startsGroup = false;
};

// A pack of the source carried over as it is but for its clock: an audio or subpicture
// pack, due at `due` (its timestamp, or that of the stream's packet before it).
struct CarriedPack {
    std::span<const std::byte> bytes; // 2048 bytes
    std::int64_t due = 0;
    int audioStream = -1;      // 0 to 7 for the DSI's audio sync, else -1
    int subpictureStream = -1; // 0 to 31
};

// Where the new packs go in the clip, for the addresses their navigation packs give.
struct EdgePlace {
    std::int64_t firstBlock = 0; // the clip's 2048-byte block the first new pack becomes
    // The clock the packs must run up to (a splice into the copied part on the same clock):
    // the new packs end before it. Nothing when their own timestamps alone decide.
    std::optional<std::int64_t> clockBefore;
    // The clock of the pack they follow, which theirs run on from.
    std::optional<std::int64_t> clockAfter;
    // The navigation pack that the VOBU before them or after them starts with, as a block
    // of the clip; nothing when there is none.
    std::optional<std::int64_t> previousVobu;
    std::optional<std::int64_t> nextVobu;
    // The copied part follows the new packs, starting with a navigation pack.
    bool nextVobuFollows = false;
    // How many packs there must be, modulo 2, so that the copied part lands in the clip as
    // it lies in its file within a memory page, which the kernel copies fastest: a padding
    // pack at the end of the last VOBU makes up the count.
    std::optional<int> parity;
    // A navigation pack of the source to take the fields the edge does not change from
    // (the VOB and cell numbers, the system header); nothing when the source has none.
    std::optional<std::span<const std::byte>> navTemplate;
};

// Multiplexes the pictures and the carried packs into DVD packs: each group of pictures a
// VOBU that starts with a navigation pack filled in for it, the others in the order they
// are due, with clock references that never run backwards and let every byte arrive
// before it is decoded.
std::vector<std::byte> multiplexEdge(const std::vector<EdgePicture>& pictures,
                                     const std::vector<CarriedPack>& carried,
                                     const EdgePlace& place);

// Writes a pack header's system clock reference (the 9-bit extension zero).
void writeScr(std::span<std::byte> pack, std::int64_t scr);

} // namespace parvane::edges
