#include "program_stream.h"

namespace parvane::mpeg {

namespace {

unsigned at(std::span<const std::byte> bytes, std::size_t i) {
    return std::to_integer<unsigned>(bytes[i]);
}

constexpr std::uint8_t kPictureStart = 0x00;
constexpr std::uint8_t kSequenceHeader = 0xB3;
constexpr std::uint8_t kGroupStart = 0xB8;

// A 33-bit timestamp in five bytes: 3 + 15 + 15 bits, each group ending in a marker bit.
std::optional<std::int64_t> timestamp(std::span<const std::byte> b, unsigned prefix) {
    if (at(b, 0) >> 4 != prefix || (at(b, 0) & 1) == 0 || (at(b, 2) & 1) == 0 ||
        (at(b, 4) & 1) == 0)
        return std::nullopt;
    return (std::int64_t(at(b, 0) >> 1 & 0x07) << 30) | (std::int64_t(at(b, 1)) << 22) |
           (std::int64_t(at(b, 2) >> 1) << 15) | (std::int64_t(at(b, 3)) << 7) |
           std::int64_t(at(b, 4) >> 1);
}

} // namespace

bool startsWithStartCode(std::span<const std::byte> bytes) {
    return bytes.size() >= 3 && at(bytes, 0) == 0 && at(bytes, 1) == 0 && at(bytes, 2) == 1;
}

std::optional<PackHeader> readPackHeader(std::span<const std::byte> b) {
    if (b.size() < kPackHeaderSize || !startsWithStartCode(b) || at(b, 3) != kPackStart)
        return std::nullopt;
    // '01', then the clock reference in 3 + 15 + 15 bits and a 9-bit extension, each group
    // followed by a marker bit; then the 22-bit mux rate and two marker bits.
    const bool markers = (at(b, 4) & 0xC4) == 0x44 && (at(b, 6) & 0x04) && (at(b, 8) & 0x04) &&
                         (at(b, 9) & 0x01) && (at(b, 12) & 0x03) == 0x03;
    if (!markers)
        return std::nullopt;
    PackHeader header;
    header.scr = (std::int64_t(at(b, 4) >> 3 & 0x07) << 30) |
                 (std::int64_t(at(b, 4) & 0x03) << 28) | (std::int64_t(at(b, 5)) << 20) |
                 (std::int64_t(at(b, 6) >> 3) << 15) | (std::int64_t(at(b, 6) & 0x03) << 13) |
                 (std::int64_t(at(b, 7)) << 5) | std::int64_t(at(b, 8) >> 3);
    // In units of 50 bytes per second; zero is forbidden.
    header.muxRate = ((std::int64_t(at(b, 10)) << 14) | (std::int64_t(at(b, 11)) << 6) |
                      std::int64_t(at(b, 12) >> 2)) *
                     50;
    if (header.muxRate == 0)
        return std::nullopt;
    header.size = kPackHeaderSize + (at(b, 13) & 0x07);
    return header;
}

std::optional<PesHeader> readPesHeader(std::span<const std::byte> b) {
    constexpr std::size_t kFixed = 9; // prefix, length, two flag bytes, header length
    if (b.size() < kFixed || !startsWithStartCode(b) || (at(b, 6) & 0xC0) != 0x80)
        return std::nullopt;
    const std::size_t packetEnd = kPacketPrefixSize + ((at(b, 4) << 8) | at(b, 5));
    PesHeader header;
    header.size = kFixed + at(b, 8);
    if (header.size > packetEnd)
        return std::nullopt;
    const unsigned flags = at(b, 7) >> 6; // 2: a PTS, 3: a PTS and a DTS
    if (flags >= 2 && header.size >= kFixed + 5 && b.size() >= kFixed + 5)
        header.pts = timestamp(b.subspan(kFixed, 5), flags == 2 ? 0x2 : 0x3);
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
