#include "core/edges/edge_mux.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace parvane::edges {

namespace {

constexpr std::size_t kPackSize = 2048;
constexpr std::size_t kPackHeader = 14;
// A DVD's highest mux rate, 10.08 Mbit/s, in the pack header's units of 50 bytes a second.
constexpr std::uint32_t kMuxRate = 25200;
// How long a pack takes to arrive at that rate, rounded up, in 90 kHz ticks.
constexpr std::int64_t kPackTicks = (kPackSize * 90000 + kMuxRate * 50 - 1) / (kMuxRate * 50);
// An address the search information uses for "no such VOBU".
constexpr std::uint32_t kNoVobu = 0x3FFFFFFF;
constexpr std::uint32_t kHasVideo = 0x80000000;

// Where a navigation pack's fields lie: the PCI's and the DSI's data, after the pack
// header (14), the system header (24) and each packet's start code, length and substream.
constexpr std::size_t kPci = kPackHeader + 24 + 7;
constexpr std::size_t kDsi = kPci + 979 + 7;

// The system header DVD navigation packs carry: rate bound, one video and audio and
// private streams with their buffer sizes.
constexpr std::array<std::uint8_t, 24> kSystemHeader = {
    0x00, 0x00, 0x01, 0xBB, 0x00, 0x12, 0x80, 0xC4, 0xE1, 0x04, 0xE1, 0xFF,
    0xB9, 0xE0, 0xE8, 0xB8, 0xC0, 0x20, 0xBD, 0xE0, 0x3A, 0xBF, 0xE0, 0x02};

void put32(std::byte* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = std::byte(value >> (24 - 8 * i) & 0xFF);
}

void put16(std::byte* at, std::uint32_t value) {
    at[0] = std::byte(value >> 8 & 0xFF);
    at[1] = std::byte(value & 0xFF);
}

void putTimestamp(std::byte* at, unsigned prefix, std::int64_t value) {
    value &= (std::int64_t{1} << 33) - 1;
    at[0] = std::byte(prefix << 4 | (value >> 29 & 0x0E) | 1);
    at[1] = std::byte(value >> 22 & 0xFF);
    at[2] = std::byte((value >> 14 & 0xFE) | 1);
    at[3] = std::byte(value >> 7 & 0xFF);
    at[4] = std::byte((value << 1 & 0xFE) | 1);
}

std::vector<std::byte> packHeader() {
    std::vector<std::byte> pack(kPackSize, std::byte{0xFF});
    const std::uint8_t head[] = {0x00,
                                 0x00,
                                 0x01,
                                 0xBA,
                                 0x44,
                                 0x00,
                                 0x04,
                                 0x00,
                                 0x04,
                                 0x01,
                                 static_cast<std::uint8_t>(kMuxRate >> 14),
                                 static_cast<std::uint8_t>(kMuxRate >> 6 & 0xFF),
                                 static_cast<std::uint8_t>((kMuxRate & 0x3F) << 2 | 3),
                                 0xF8};
    std::memcpy(pack.data(), head, sizeof head);
    return pack;
}

struct Unit {
    std::vector<std::byte> bytes;
    std::int64_t due = 0;
    enum class Kind { Navigation, Video, Carried } kind = Kind::Video;
    std::size_t group = 0;
    int audioStream = -1;
    int subpictureStream = -1;
};

// One group's pictures as video packs; `ends` gets the pack (counted in this group) each
// picture's last byte lies in.
std::vector<Unit> videoPacks(const std::vector<EdgePicture>& pictures, std::size_t first,
                             std::size_t last, std::size_t group, std::vector<std::size_t>& ends) {
    std::vector<std::byte> stream;
    std::vector<std::size_t> starts;
    for (std::size_t p = first; p < last; ++p) {
        starts.push_back(stream.size());
        stream.insert(stream.end(), pictures[p].bytes.begin(), pictures[p].bytes.end());
    }
    std::vector<Unit> packs;
    std::size_t at = 0;
    std::size_t current = 0; // the picture the next byte belongs to
    while (at < stream.size()) {
        constexpr std::size_t kRoom = kPackSize - kPackHeader - 9;
        std::optional<std::size_t> starting;
        for (std::size_t k = current; k < starts.size(); ++k)
            if (starts[k] >= at && starts[k] < at + kRoom - 10) {
                starting = k;
                break;
            }
        const std::size_t fields = starting ? 10 : 0;
        const std::size_t payload = std::min(stream.size() - at, kRoom - fields);
        const std::size_t left = kRoom - fields - payload;
        const std::size_t stuffing = left < 6 ? left : 0;
        Unit unit;
        unit.bytes = packHeader();
        unit.group = group;
        std::byte* pes = unit.bytes.data() + kPackHeader;
        const std::size_t length = 3 + fields + stuffing + payload;
        const std::uint8_t prefix[] = {0x00, 0x00, 0x01, 0xE0};
        std::memcpy(pes, prefix, 4);
        put16(pes + 4, static_cast<std::uint32_t>(length));
        pes[6] = std::byte{0x81};
        pes[7] = std::byte{static_cast<std::uint8_t>(starting ? 0xC0 : 0x00)};
        pes[8] = std::byte(fields + stuffing);
        if (starting) {
            const EdgePicture& picture = pictures[first + *starting];
            putTimestamp(pes + 9, 0x3, picture.pts);
            putTimestamp(pes + 14, 0x1, picture.dts);
        }
        std::memcpy(pes + 9 + fields + stuffing, stream.data() + at, payload);
        if (left >= 6) {
            std::byte* padding = pes + 6 + length;
            const std::uint8_t code[] = {0x00, 0x00, 0x01, 0xBE};
            std::memcpy(padding, code, 4);
            put16(padding + 4, static_cast<std::uint32_t>(left - 6));
        }
        while (current + 1 < starts.size() && starts[current + 1] <= at)
            ++current;
        unit.due = pictures[first + current].dts;
        at += payload;
        for (std::size_t k = current; k < starts.size(); ++k) {
            const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : stream.size();
            if (end > at - payload && end <= at)
                ends[first + k] = packs.size();
        }
        while (current + 1 < starts.size() && starts[current + 1] < at)
            ++current;
        packs.push_back(std::move(unit));
    }
    return packs;
}

std::vector<std::byte> navigationPack(const EdgePlace& place) {
    std::vector<std::byte> pack = packHeader();
    if (place.navTemplate && place.navTemplate->size() == kPackSize) {
        std::copy(place.navTemplate->begin(), place.navTemplate->end(), pack.begin());
        // Nothing of the source VOBU's presentation carries over but where it belongs.
        std::fill(pack.begin() + kPci, pack.begin() + kPci + 979, std::byte{0});
        std::fill(pack.begin() + kDsi, pack.begin() + kDsi + 24, std::byte{0});
        std::fill(pack.begin() + kDsi + 32, pack.begin() + kDsi + 1017, std::byte{0});
        return pack;
    }
    std::memcpy(pack.data() + kPackHeader, kSystemHeader.data(), kSystemHeader.size());
    std::byte* pci = pack.data() + kPackHeader + 24;
    const std::uint8_t pciHead[] = {0x00, 0x00, 0x01, 0xBF, 0x03, 0xD4, 0x00};
    std::memcpy(pci, pciHead, sizeof pciHead);
    std::fill(pci + 7, pci + 7 + 979, std::byte{0});
    std::byte* dsi = pci + 7 + 979;
    const std::uint8_t dsiHead[] = {0x00, 0x00, 0x01, 0xBF, 0x03, 0xFA, 0x01};
    std::memcpy(dsi, dsiHead, sizeof dsiHead);
    std::fill(dsi + 7, dsi + 7 + 1017, std::byte{0});
    return pack;
}

// Clock references: each pack arrives whole before it is due, none earlier than the pack
// before, and all before `before` when the copied part follows on the same clock.
void clock(std::vector<Unit>& units, const EdgePlace& place) {
    if (units.empty())
        return;
    std::int64_t limit = place.clockBefore.value_or(std::numeric_limits<std::int64_t>::max());
    std::vector<std::int64_t> scr(units.size());
    for (std::size_t i = units.size(); i-- > 0;) {
        scr[i] = std::min(limit, units[i].due) - kPackTicks;
        limit = scr[i];
    }
    // A clock cannot go below zero: the packs at the very start of a stream arrive faster.
    if (scr.front() < 0) {
        const auto count = static_cast<std::int64_t>(scr.size());
        const std::int64_t step = std::max<std::int64_t>(1, scr.back() / count);
        for (std::int64_t i = 0; i < count; ++i)
            scr[std::size_t(i)] = std::max(scr[std::size_t(i)], i * step);
    }
    if (place.clockAfter && !place.clockBefore) {
        // Following copied packs: as soon as the pack before has arrived.
        std::int64_t next = *place.clockAfter + kPackTicks;
        for (std::int64_t& value : scr) {
            value = next;
            next += kPackTicks;
        }
    } else if (place.clockAfter && scr.front() <= *place.clockAfter) {
        std::int64_t next = *place.clockAfter + kPackTicks;
        for (std::int64_t& value : scr) {
            value = std::max(value, next);
            next = value + kPackTicks;
        }
    }
    for (std::size_t i = 0; i < units.size(); ++i)
        writeScr(units[i].bytes, scr[i]);
}

} // namespace

void writeScr(std::span<std::byte> pack, std::int64_t scr) {
    scr &= (std::int64_t{1} << 33) - 1;
    pack[4] = std::byte(0x44 | (scr >> 27 & 0x38) | (scr >> 28 & 0x03));
    pack[5] = std::byte(scr >> 20 & 0xFF);
    pack[6] = std::byte((scr >> 12 & 0xF8) | 0x04 | (scr >> 13 & 0x03));
    pack[7] = std::byte(scr >> 5 & 0xFF);
    pack[8] = std::byte((scr << 3 & 0xF8) | 0x04);
    pack[9] = std::byte{0x01};
}

std::vector<std::byte> multiplexEdge(const std::vector<EdgePicture>& pictures,
                                     const std::vector<CarriedPack>& carried,
                                     const EdgePlace& place) {
    std::vector<std::size_t> groupStarts;
    for (std::size_t p = 0; p < pictures.size(); ++p)
        if (p == 0 || pictures[p].startsGroup)
            groupStarts.push_back(p);
    std::vector<std::size_t> ends(pictures.size());
    std::vector<std::vector<Unit>> video;
    for (std::size_t g = 0; g < groupStarts.size(); ++g) {
        const std::size_t last = g + 1 < groupStarts.size() ? groupStarts[g + 1] : pictures.size();
        video.push_back(videoPacks(pictures, groupStarts[g], last, g, ends));
    }

    std::vector<CarriedPack> waiting = carried;
    std::stable_sort(waiting.begin(), waiting.end(),
                     [](const CarriedPack& a, const CarriedPack& b) { return a.due < b.due; });
    std::size_t nextCarried = 0;
    std::vector<Unit> units;
    std::vector<std::size_t> navAt;
    for (std::size_t g = 0; g < video.size(); ++g) {
        navAt.push_back(units.size());
        Unit nav{navigationPack(place), video[g].front().due, Unit::Kind::Navigation, g};
        units.push_back(std::move(nav));
        const bool lastGroup = g + 1 == video.size();
        const std::int64_t until =
            lastGroup ? std::numeric_limits<std::int64_t>::max() : video[g + 1].front().due;
        std::vector<Unit> mine = std::move(video[g]);
        for (; nextCarried < waiting.size() && waiting[nextCarried].due < until; ++nextCarried) {
            const CarriedPack& pack = waiting[nextCarried];
            Unit unit{std::vector<std::byte>(pack.bytes.begin(), pack.bytes.end()),
                      pack.due,
                      Unit::Kind::Carried,
                      g,
                      pack.audioStream,
                      pack.subpictureStream};
            mine.push_back(std::move(unit));
        }
        std::stable_sort(mine.begin(), mine.end(),
                         [](const Unit& a, const Unit& b) { return a.due < b.due; });
        // The group's video packs in their own order: the sort keeps it, since a later
        // pack of a group is never due before an earlier one.
        for (Unit& unit : mine)
            units.push_back(std::move(unit));
    }
    if (place.parity && static_cast<int>(units.size() % 2) != *place.parity) {
        Unit padding{packHeader(), units.back().due, Unit::Kind::Carried, units.back().group};
        const std::uint8_t code[] = {0x00, 0x00, 0x01, 0xBE};
        std::memcpy(padding.bytes.data() + kPackHeader, code, 4);
        put16(padding.bytes.data() + kPackHeader + 4, kPackSize - kPackHeader - 6);
        units.push_back(std::move(padding));
    }
    clock(units, place);

    // The navigation packs, now that every pack has its place and clock.
    for (std::size_t g = 0; g < navAt.size(); ++g) {
        const std::size_t at = navAt[g];
        const std::size_t end = g + 1 < navAt.size() ? navAt[g + 1] : units.size();
        const auto block = static_cast<std::uint32_t>(place.firstBlock + std::int64_t(at));
        std::byte* pack = units[at].bytes.data();
        std::byte* pci = pack + kPci;
        std::byte* dsi = pack + kDsi;
        const std::size_t first = groupStarts[g];
        const std::size_t last = g + 1 < groupStarts.size() ? groupStarts[g + 1] : pictures.size();
        std::int64_t shown = std::numeric_limits<std::int64_t>::max();
        std::int64_t shownEnd = 0;
        for (std::size_t p = first; p < last; ++p) {
            shown = std::min(shown, pictures[p].pts);
            shownEnd = std::max(shownEnd, pictures[p].pts + pictures[p].duration);
        }
        put32(pci, block);
        put32(pci + 12, static_cast<std::uint32_t>(shown));
        put32(pci + 16, static_cast<std::uint32_t>(shownEnd));
        const std::int64_t scr = [&] {
            const auto b = units[at].bytes;
            const auto v = [&](int i) { return std::to_integer<std::int64_t>(b[std::size_t(i)]); };
            return (v(4) >> 3 & 7) << 30 | (v(4) & 3) << 28 | v(5) << 20 | (v(6) >> 3) << 15 |
                   (v(6) & 3) << 13 | v(7) << 5 | v(8) >> 3;
        }();
        put32(dsi, static_cast<std::uint32_t>(scr));
        put32(dsi + 4, block);
        put32(dsi + 8, static_cast<std::uint32_t>(end - 1 - at));
        // The ends of the group's first three reference pictures, counted from this pack.
        std::size_t video = 0;
        std::vector<std::size_t> unitOfVideo; // the n-th video pack of the group
        for (std::size_t u = at; u < end; ++u)
            if (units[u].kind == Unit::Kind::Video)
                unitOfVideo.push_back(u);
        int reference = 0;
        for (std::size_t p = first; p < last && reference < 3; ++p, ++video) {
            if (pictures[p].type == 'B')
                continue;
            put32(dsi + 12 + 4 * reference, static_cast<std::uint32_t>(unitOfVideo[ends[p]] - at));
            ++reference;
        }
        const auto relative = [&](std::optional<std::int64_t> target) -> std::uint32_t {
            if (!target)
                return kNoVobu;
            const std::int64_t distance = *target - std::int64_t(block);
            return kHasVideo | static_cast<std::uint32_t>(std::llabs(distance) & kNoVobu);
        };
        const std::optional<std::int64_t> next =
            g + 1 < navAt.size()    ? std::optional(place.firstBlock + std::int64_t(navAt[g + 1]))
            : place.nextVobuFollows ? std::optional(place.firstBlock + std::int64_t(units.size()))
                                    : place.nextVobu;
        const std::optional<std::int64_t> previous =
            g > 0 ? std::optional(place.firstBlock + std::int64_t(navAt[g - 1]))
                  : place.previousVobu;
        constexpr std::size_t kSearch = 234;
        put32(dsi + kSearch, relative(next));
        for (int i = 0; i < 19; ++i) {
            put32(dsi + kSearch + 4 + 4 * i, kNoVobu);
            put32(dsi + kSearch + 88 + 4 * i, kNoVobu);
        }
        put32(dsi + kSearch + 80, relative(next));
        put32(dsi + kSearch + 84, relative(previous));
        put32(dsi + kSearch + 164, relative(previous));
        constexpr std::size_t kSync = 402;
        std::array<bool, 8> audioSeen{};
        std::array<bool, 32> subpictureSeen{};
        for (std::size_t u = at; u < end; ++u) {
            const int audio = units[u].audioStream;
            if (audio >= 0 && audio < 8 && !audioSeen[std::size_t(audio)]) {
                audioSeen[std::size_t(audio)] = true;
                put16(dsi + kSync + 2 * std::size_t(audio), static_cast<std::uint32_t>(u - at));
            }
            const int sub = units[u].subpictureStream;
            if (sub >= 0 && sub < 32 && !subpictureSeen[std::size_t(sub)]) {
                subpictureSeen[std::size_t(sub)] = true;
                put32(dsi + kSync + 16 + 4 * std::size_t(sub), static_cast<std::uint32_t>(u - at));
            }
        }
        (void)video;
    }

    std::vector<std::byte> out;
    out.reserve(units.size() * kPackSize);
    for (const Unit& unit : units)
        out.insert(out.end(), unit.bytes.begin(), unit.bytes.end());
    return out;
}

} // namespace parvane::edges
