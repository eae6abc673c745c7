#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace parvane::edges {

// DVD audio packs cut to whole frames, so that a clip's sound starts with the frame nearest
// its first picture and ends with the one nearest the end of its last, and never with the
// end of a frame whose start was left behind or the start of one whose end was: decoders
// take either for damage. For AC-3 in private stream 1, whose frames have one size and
// whose packets say where their first frame starts, and 16-bit LPCM at 48 kHz, whose
// packets are taken or left whole. `packet` is
// where the audio packet lies in the 2048-byte `pack`, `payload` the first byte after its
// PES header.

// How an audio packet's frames lie.
struct FrameLayout {
    std::size_t count = 0;           // frames that start in the packet
    std::size_t whole = 0;           // of them, those that end in it too
    std::optional<std::int64_t> pts; // when the first is heard, when the packet says
    std::int64_t ticks = 0;          // each frame's length
    bool lead = false;               // the end of a frame begun in an earlier packet comes first
};

// Nothing when it is not such a packet.
std::optional<FrameLayout> frameLayout(std::span<const std::byte> pack, std::size_t packet,
                                       std::size_t payload);

// The pack keeping frames [from, to) of those that start in it, and with `lead` the end of
// the frame before them; stamped `fromTime`, when frame `from` is heard, the rest of the pack
// padding.
// An empty vector when nothing is kept; the pack as it is when it is not such a pack.
std::vector<std::byte> keepFrames(std::span<const std::byte> pack, std::size_t packet,
                                  std::size_t payload, std::size_t from, std::size_t to, bool lead,
                                  std::optional<std::int64_t> fromTime);

// The pack with the packet at `packet` turned into a padding packet of the same size.
std::vector<std::byte> silenced(std::span<const std::byte> pack, std::size_t packet);

} // namespace parvane::edges
