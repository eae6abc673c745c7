#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace parvane::edges {

// DVD audio packs cut to whole frames, so that a clip's sound neither starts with the end
// of a frame whose start was left behind nor ends with the start of one whose end was:
// decoders take either for damage. For AC-3, DTS and LPCM in private stream 1, whose
// packets say where their first frame starts. `packet` is where the audio packet lies in
// the 2048-byte `pack`: its start code and the first byte after its PES header.

// The pack from its packet's first whole frame on; nothing when it is not such a pack or
// starts with a frame already.
std::optional<std::vector<std::byte>> fromFirstFrame(std::span<const std::byte> pack,
                                                     std::size_t packet, std::size_t payload);

// The pack up to the end of the last AC-3 or LPCM frame that ends inside it; an empty
// vector when nothing of it should be kept; nothing when it is not such a pack or ends
// with a whole frame already.
std::optional<std::vector<std::byte>> toLastFrame(std::span<const std::byte> pack,
                                                  std::size_t packet, std::size_t payload);

// The pack cut down to the last frame that starts in it, its timestamp moved to that
// frame: what completes a frame whose end comes first in a copied stretch. Nothing when
// it is not such a pack or its frames' size is unknown.
std::optional<std::vector<std::byte>> lastFrameOnly(std::span<const std::byte> pack,
                                                    std::size_t packet, std::size_t payload);

// The pack cut down to what comes before its first frame: the end of a frame whose start
// ends a copied stretch. Nothing when it is not such a pack or nothing comes before.
std::optional<std::vector<std::byte>> beforeFirstFrame(std::span<const std::byte> pack,
                                                       std::size_t packet, std::size_t payload);

} // namespace parvane::edges
