#include "synthetic_stream.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace parvane::testing {

namespace {

constexpr std::int64_t kWrap = std::int64_t{1} << 33;
constexpr std::int64_t kTicksPerPack = 150;
constexpr std::int64_t kPacksPerPicture = 24;
constexpr std::int64_t kShownAfter = 45000; // 0.5 s after its pack arrives
constexpr unsigned kMuxRate = 25200;        // 50-byte units: DVD's 10.08 Mbit/s

struct Writer {
    void put(unsigned byte) { *at++ = static_cast<std::byte>(byte); }
    void put(std::initializer_list<unsigned> bytes) {
        for (const unsigned b : bytes)
            put(b);
    }
    void fill(std::size_t count, unsigned byte) {
        std::memset(at, static_cast<int>(byte), count);
        at += count;
    }
    void be32(std::uint32_t value) {
        put({value >> 24 & 0xFF, value >> 16 & 0xFF, value >> 8 & 0xFF, value & 0xFF});
    }
    void timestamp(std::int64_t t) {
        put({unsigned(0x21 | (t >> 29 & 0x0E)), unsigned(t >> 22 & 0xFF),
             unsigned((t >> 14 & 0xFE) | 1), unsigned(t >> 7 & 0xFF),
             unsigned((t << 1 & 0xFE) | 1)});
    }

    std::byte* at;
};

void packHeader(Writer& w, std::int64_t scr) {
    w.put({0x00, 0x00, 0x01, 0xBA});
    w.put({unsigned(0x44 | (scr >> 30 & 7) << 3 | (scr >> 28 & 3)), unsigned(scr >> 20 & 0xFF),
           unsigned((scr >> 15 & 0x1F) << 3 | 0x04 | (scr >> 13 & 3)), unsigned(scr >> 5 & 0xFF),
           unsigned((scr & 0x1F) << 3 | 0x04), 0x01});
    w.put({kMuxRate >> 14, kMuxRate >> 6 & 0xFF, (kMuxRate << 2 & 0xFC) | 0x03, 0xF8});
}

// A PES packet filling the rest of the pack, with a timestamp unless `pts` is null; the
// payload starts with `opening`.
void pes(Writer& w, std::byte* packEnd, unsigned id, const std::int64_t* pts,
         std::initializer_list<unsigned> opening) {
    const auto length = static_cast<unsigned>(packEnd - w.at - 6);
    w.put({0x00, 0x00, 0x01, id, length >> 8, length & 0xFF, 0x81});
    if (pts) {
        w.put({0x80, 0x05});
        w.timestamp(*pts);
    } else {
        w.put({0x00, 0x00});
    }
    w.put(opening);
    w.fill(static_cast<std::size_t>(packEnd - w.at), 0xFF);
}

} // namespace

std::int64_t SyntheticStream::groupOffset(std::int64_t group) const {
    const std::int64_t navigationOrFirstPicture =
        layout_.navigation == SyntheticLayout::Navigation::None ? 1 : 0;
    return std::min(layout_.size, (group * kGroupPacks + navigationOrFirstPicture) * kPackSize);
}

void SyntheticStream::makePack(std::int64_t index, std::byte* pack) const {
    std::int64_t cellStart = 0;
    int cell = 1;
    for (const std::int64_t start : layout_.cellStarts)
        if (index >= start) {
            cellStart = std::max(cellStart, start);
            ++cell;
        }
    const std::int64_t clockStart = layout_.resetAtPack >= 0 && index >= layout_.resetAtPack
                                        ? std::max(cellStart, layout_.resetAtPack)
                                        : cellStart;
    const std::int64_t jump =
        layout_.jumpAtPack >= 0 && index >= layout_.jumpAtPack ? layout_.jumpTicks : 0;
    const std::int64_t scr =
        (layout_.firstClock + (index - clockStart) * kTicksPerPack + jump) % kWrap;
    const std::int64_t shownAt = (scr + kShownAfter) % kWrap;
    const std::int64_t* pts = layout_.timestamps ? &shownAt : nullptr;
    std::byte* end = pack + kPackSize;
    Writer w{pack};
    packHeader(w, scr);
    const std::int64_t inGroup = index % kGroupPacks;
    if (inGroup == 0 && layout_.navigation != SyntheticLayout::Navigation::None) {
        w.put({0x00, 0x00, 0x01, 0xBB, 0x00, 0x12});
        w.fill(18, 0x80);
        // PCI: VOBU start and end times at its bytes 12 and 16; then the DSI.
        const std::int64_t shown = (scr + kTicksPerPack + kShownAfter) % kWrap;
        const bool timed = layout_.navigation == SyntheticLayout::Navigation::Timed;
        w.put({0x00, 0x00, 0x01, 0xBF, 0x03, 0xD4, 0x00});
        w.fill(12, 0x00);
        w.be32(timed ? static_cast<std::uint32_t>(shown) : 0);
        w.be32(timed ? static_cast<std::uint32_t>(shown + 15 * 3600) : 0);
        w.fill(979 - 20, 0x00);
        w.put({0x00, 0x00, 0x01, 0xBF, 0x03, 0xFA, 0x01});
        std::byte* dsi = w.at;
        w.fill(static_cast<std::size_t>(end - w.at), 0x00);
        if (layout_.cellIds) {
            // dsi_gi: the object and cell numbers at bytes 24 to 27, then the cell's elapsed
            // time in BCD, its frames flagged as 25 a second.
            const std::int64_t frames = (index - cellStart) * kTicksPerPack / 3600;
            const auto bcd = [](std::int64_t value) {
                return unsigned(value / 10 * 16 + value % 10);
            };
            Writer place{dsi + 24};
            place.put({unsigned(cell >> 8), unsigned(cell & 0xFF), 0x00, 0x01});
            place.put({bcd(frames / 90000), bcd(frames / 1500 % 60), bcd(frames / 25 % 60),
                       0x40 | bcd(frames % 25)});
        }
    } else if (inGroup == 0) {
        pes(w, end, 0xBE, nullptr, {}); // padding
    } else if (inGroup % kPacksPerPicture == 1) {
        // A picture starts here; the group's first one opens with a sequence header.
        const unsigned code = inGroup == 1 ? 0xB3 : 0x00;
        pes(w, end, 0xE0, pts, {0x00, 0x00, 0x01, code});
    } else if (inGroup % kPacksPerPicture == 13) {
        pes(w, end, 0xBD, pts, {0x80}); // AC-3 audio
    } else {
        pes(w, end, 0xE0, nullptr, {});
    }
}

std::size_t SyntheticStream::readAt(std::int64_t offset, std::byte* buffer, std::size_t count) {
    std::array<std::byte, kPackSize> pack;
    std::size_t done = 0;
    while (done < count && offset < layout_.size) {
        const std::int64_t index = offset / kPackSize;
        const auto within = static_cast<std::size_t>(offset % kPackSize);
        const std::size_t piece = std::min(
            {count - done, pack.size() - within, static_cast<std::size_t>(layout_.size - offset)});
        makePack(index, pack.data());
        std::memcpy(buffer + done, pack.data() + within, piece);
        done += piece;
        offset += static_cast<std::int64_t>(piece);
    }
    bytesRead += static_cast<std::int64_t>(done);
    return done;
}

} // namespace parvane::testing
