#pragma once

// The parts of an MPEG-2 program stream (ISO/IEC 13818-1) that a cut at stream times
// needs: pack headers with their clock, PES headers with their timestamps, and where a
// video picture group starts. Each function looks only at the bytes it is given.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace parvane::mpeg {

// Clock references and timestamps count a 90 kHz clock in 33 bits.
inline constexpr std::int64_t kTicksPerSecond = 90000;
inline constexpr std::int64_t kTimestampWrap = std::int64_t{1} << 33;

inline constexpr std::uint8_t kProgramEnd = 0xB9;
inline constexpr std::uint8_t kPackStart = 0xBA;
inline constexpr std::uint8_t kSystemHeader = 0xBB;
inline constexpr std::uint8_t kPrivateStream1 = 0xBD;
inline constexpr std::uint8_t kPrivateStream2 = 0xBF;

// A DVD pack, the sector it fills on the disc.
inline constexpr std::int64_t kDvdPackSize = 2048;

// A pack header without its stuffing.
inline constexpr std::size_t kPackHeaderSize = 14;
// The start code and length field that begin every packet after the pack header.
inline constexpr std::size_t kPacketPrefixSize = 6;

// The byte at `i` as a number.
inline unsigned byteAt(std::span<const std::byte> bytes, std::size_t i) {
    return std::to_integer<unsigned>(bytes[i]);
}

// The size of the packet whose start code begins at `at`, from its length field, prefix
// included; the length field must be inside `bytes`.
inline std::size_t packetSize(std::span<const std::byte> bytes, std::size_t at) {
    return kPacketPrefixSize + (byteAt(bytes, at + 4) << 8 | byteAt(bytes, at + 5));
}

inline bool isVideoStream(std::uint8_t id) {
    return (id & 0xF0) == 0xE0;
}
inline bool isAudioStream(std::uint8_t id) {
    return (id & 0xE0) == 0xC0;
}
// DVD subpictures travel in private stream 1 with substream numbers 0x20 to 0x3F.
inline bool isSubpicture(std::uint8_t substream) {
    return (substream & 0xE0) == 0x20;
}

// Whether the bytes begin with a start code prefix, 00 00 01; the id follows it.
bool startsWithStartCode(std::span<const std::byte> bytes);

struct PackHeader {
    std::int64_t scr = 0;     // the system clock reference's 90 kHz part
    std::int64_t muxRate = 0; // bytes per second: the most the stream is delivered at
    std::size_t size = 0;     // with its stuffing
};

// The MPEG-2 pack header at the start of `bytes`, with its marker bits checked.
// Nothing when the bytes are not one (an MPEG-1 pack header included).
std::optional<PackHeader> readPackHeader(std::span<const std::byte> bytes);

struct PesHeader {
    std::size_t size = 0; // from the start code to the first payload byte
    std::optional<std::int64_t> pts;
    std::optional<std::int64_t> dts; // only where it differs from the pts
};

// The MPEG-2 header of the PES packet whose start code begins `bytes`; `bytes` may end
// after the header. Nothing when it is not a well-formed one. A timestamp with broken
// marker bits is left out.
std::optional<PesHeader> readPesHeader(std::span<const std::byte> bytes);

// `to` - `from` in ticks across the 33-bit wrap, between -2^32 and 2^32.
std::int64_t ticksBetween(std::int64_t from, std::int64_t to);

// Moves the clock reference of the MPEG-2 pack at the start of `pack`, and the timestamps
// of the PES packets in it, on by `ticks` across the 33-bit wrap. Bytes that are not such a
// pack, and timestamps with broken marker bits, are left as they are.
void shiftPackClocks(std::span<std::byte> pack, std::int64_t ticks);

// The earliest presentation timestamp in `packs`, DVD packs one after another
// (a last one cut short is read as far as it goes); nothing when none has one.
std::optional<std::int64_t> earliestTimestamp(std::span<const std::byte> packs);

// Follows a video elementary stream from where a picture starts, up to the first start
// code that opens a picture: a sequence header or a group-of-pictures header makes it
// an access point (a decoder can start there); a bare picture header does not.
class AccessPointScanner {
public:
    // Feeds the next bytes; returns the answer once it is known.
    std::optional<bool> feed(std::span<const std::byte> bytes);

private:
    std::uint32_t last4_ = 0xFFFFFFFF; // the four bytes seen last, no start code yet
};

} // namespace parvane::mpeg
