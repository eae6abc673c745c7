#include "core/stream/program_stream.h"

#include <algorithm>

namespace parvane::mpeg {

namespace {

constexpr std::uint8_t kPictureStart = 0x00;
constexpr std::uint8_t kSequenceHeader = 0xB3;
constexpr std::uint8_t kGroupStart = 0xB8;

// A 33-bit timestamp in five bytes: 3 + 15 + 15 bits, each group ending in a marker bit.
std::optional<std::int64_t> timestamp(std::span<const std::byte> b, unsigned prefix) {
    if (byteAt(b, 0) >> 4 != prefix || (byteAt(b, 0) & 1) == 0 || (byteAt(b, 2) & 1) == 0 ||
        (byteAt(b, 4) & 1) == 0)
        return std::nullopt;
    return (std::int64_t(byteAt(b, 0) >> 1 & 0x07) << 30) | (std::int64_t(byteAt(b, 1)) << 22) |
           (std::int64_t(byteAt(b, 2) >> 1) << 15) | (std::int64_t(byteAt(b, 3)) << 7) |
           std::int64_t(byteAt(b, 4) >> 1);
}

} // namespace

bool startsWithStartCode(std::span<const std::byte> bytes) {
    return bytes.size() >= 3 && byteAt(bytes, 0) == 0 && byteAt(bytes, 1) == 0 &&
           byteAt(bytes, 2) == 1;
}

std::optional<PackHeader> readPackHeader(std::span<const std::byte> b) {
    if (b.size() < kPackHeaderSize || !startsWithStartCode(b) || byteAt(b, 3) != kPackStart)
        return std::nullopt;
    // '01', then the clock reference in 3 + 15 + 15 bits and a 9-bit extension, each group
    // followed by a marker bit; then the 22-bit mux rate and two marker bits.
    const bool markers = (byteAt(b, 4) & 0xC4) == 0x44 && (byteAt(b, 6) & 0x04) &&
                         (byteAt(b, 8) & 0x04) && (byteAt(b, 9) & 0x01) &&
                         (byteAt(b, 12) & 0x03) == 0x03;
    if (!markers)
        return std::nullopt;
    PackHeader header;
    header.scr = (std::int64_t(byteAt(b, 4) >> 3 & 0x07) << 30) |
                 (std::int64_t(byteAt(b, 4) & 0x03) << 28) | (std::int64_t(byteAt(b, 5)) << 20) |
                 (std::int64_t(byteAt(b, 6) >> 3) << 15) |
                 (std::int64_t(byteAt(b, 6) & 0x03) << 13) | (std::int64_t(byteAt(b, 7)) << 5) |
                 std::int64_t(byteAt(b, 8) >> 3);
    // In units of 50 bytes per second; zero is forbidden.
    header.muxRate = ((std::int64_t(byteAt(b, 10)) << 14) | (std::int64_t(byteAt(b, 11)) << 6) |
                      std::int64_t(byteAt(b, 12) >> 2)) *
                     50;
    if (header.muxRate == 0)
        return std::nullopt;
    header.size = kPackHeaderSize + (byteAt(b, 13) & 0x07);
    return header;
}

std::optional<PesHeader> readPesHeader(std::span<const std::byte> b) {
    constexpr std::size_t kFixed = 9; // prefix, length, two flag bytes, header length
    if (b.size() < kFixed || !startsWithStartCode(b) || (byteAt(b, 6) & 0xC0) != 0x80)
        return std::nullopt;
    const std::size_t packetEnd = packetSize(b, 0);
    PesHeader header;
    header.size = kFixed + byteAt(b, 8);
    if (header.size > packetEnd)
        return std::nullopt;
    const unsigned flags = byteAt(b, 7) >> 6; // 2: a PTS, 3: a PTS and a DTS
    if (flags >= 2 && header.size >= kFixed + 5 && b.size() >= kFixed + 5)
        header.pts = timestamp(b.subspan(kFixed, 5), flags == 2 ? 0x2 : 0x3);
    if (flags == 3 && header.size >= kFixed + 10 && b.size() >= kFixed + 10)
        header.dts = timestamp(b.subspan(kFixed + 5, 5), 0x1);
    return header;
}

std::int64_t ticksBetween(std::int64_t from, std::int64_t to) {
    constexpr std::int64_t kHalf = kTimestampWrap / 2;
    std::int64_t difference = (to - from) % kTimestampWrap;
    if (difference >= kHalf)
        difference -= kTimestampWrap;
    else if (difference < -kHalf)
        difference += kTimestampWrap;
    return difference;
}

namespace {

std::int64_t wrapped(std::int64_t ticks) {
    return (ticks % kTimestampWrap + kTimestampWrap) % kTimestampWrap;
}

// Rewrites the 33-bit timestamp in the five bytes at `b`, keeping its prefix nibble.
void shiftTimestamp(std::span<std::byte> b, std::int64_t ticks) {
    const auto old = timestamp(b, byteAt(b, 0) >> 4);
    if (!old)
        return;
    const std::int64_t value = wrapped(*old + ticks);
    b[0] = std::byte((byteAt(b, 0) & 0xF0) | (value >> 29 & 0x0E) | 1);
    b[1] = std::byte(value >> 22 & 0xFF);
    b[2] = std::byte((value >> 14 & 0xFE) | 1);
    b[3] = std::byte(value >> 7 & 0xFF);
    b[4] = std::byte((value << 1 & 0xFE) | 1);
}

bool carriesTimestamps(unsigned id) {
    return id == kPrivateStream1 || isAudioStream(static_cast<std::uint8_t>(id)) ||
           isVideoStream(static_cast<std::uint8_t>(id));
}

// Calls `visit` with each PES packet of the pack at the start of `pack` that may carry
// timestamps, from its start code to the pack's end; returns false when it is no pack.
template <typename Bytes, typename Visit> bool forEachPacket(Bytes pack, Visit visit) {
    const auto header = readPackHeader(pack);
    if (!header)
        return false;
    std::size_t offset = header->size;
    while (offset + kPacketPrefixSize <= pack.size() && startsWithStartCode(pack.subspan(offset))) {
        const unsigned id = byteAt(pack, offset + 3);
        if (id == kProgramEnd || id == kPackStart)
            break;
        if (carriesTimestamps(id))
            visit(pack.subspan(offset));
        offset += packetSize(pack, offset);
    }
    return true;
}

} // namespace

void shiftPackClocks(std::span<std::byte> pack, std::int64_t ticks) {
    const auto header = readPackHeader(pack);
    if (!header)
        return;
    forEachPacket(pack, [ticks](std::span<std::byte> packet) {
        constexpr std::size_t kFixed = 9;
        if (packet.size() < kFixed + 5 || (byteAt(packet, 6) & 0xC0) != 0x80)
            return;
        const unsigned flags = byteAt(packet, 7) >> 6; // 2: a PTS, 3: a PTS and a DTS
        if (flags >= 2 && byteAt(packet, 8) >= 5)
            shiftTimestamp(packet.subspan(kFixed, 5), ticks);
        if (flags == 3 && byteAt(packet, 8) >= 10 && packet.size() >= kFixed + 10)
            shiftTimestamp(packet.subspan(kFixed + 5, 5), ticks);
    });
    // The clock reference's 33-bit base is written back in the groups readPackHeader reads,
    // its '01' prefix, marker bits and extension kept.
    const std::int64_t value = wrapped(header->scr + ticks);
    pack[4] = std::byte((byteAt(pack, 4) & 0xC4) | (value >> 27 & 0x38) | (value >> 28 & 0x03));
    pack[5] = std::byte(value >> 20 & 0xFF);
    pack[6] = std::byte((byteAt(pack, 6) & 0x04) | (value >> 12 & 0xF8) | (value >> 13 & 0x03));
    pack[7] = std::byte(value >> 5 & 0xFF);
    pack[8] = std::byte((byteAt(pack, 8) & 0x07) | (value << 3 & 0xF8));
}

std::optional<std::int64_t> earliestTimestamp(std::span<const std::byte> packs) {
    constexpr auto kPack = static_cast<std::size_t>(kDvdPackSize);
    std::optional<std::int64_t> earliest;
    for (std::size_t offset = 0; offset < packs.size(); offset += kPack) {
        const auto pack = packs.subspan(offset, std::min(kPack, packs.size() - offset));
        forEachPacket(pack, [&earliest](std::span<const std::byte> packet) {
            const auto header = readPesHeader(packet);
            if (header && header->pts && (!earliest || ticksBetween(*earliest, *header->pts) < 0))
                earliest = header->pts;
        });
    }
    return earliest;
}

std::optional<bool> AccessPointScanner::feed(std::span<const std::byte> bytes) {
    for (const std::byte byte : bytes) {
        last4_ = last4_ << 8 | std::to_integer<std::uint32_t>(byte);
        if ((last4_ & 0xFFFFFF00) != 0x00000100)
            continue;
        // Slices of the picture before (codes 01 to AF) may come first; the next picture
        // opens with its headers, or with the picture header itself.
        switch (last4_ & 0xFF) {
        case kSequenceHeader:
        case kGroupStart:
            return true;
        case kPictureStart:
            return false;
        default:
            break;
        }
    }
    return std::nullopt;
}

} // namespace parvane::mpeg
