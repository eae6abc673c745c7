#include "core/edges/audio_frames.h"

#include "core/stream/program_stream.h"

#include <algorithm>
#include <array>

namespace parvane::edges {

namespace {

using mpeg::byteAt;

// AC-3 frame sizes in 16-bit words at 48 kHz, by frmsizecod / 2.
constexpr std::array<unsigned, 19> kAc3Words48 = {
    64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 640, 768, 896, 1024, 1152, 1280};

struct AudioPacket {
    std::size_t packet = 0;
    std::size_t payload = 0; // the substream number
    std::size_t data = 0;    // the first byte after the substream's own header
    std::size_t end = 0;
    std::size_t firstFrame = 0;
    unsigned frames = 0;
    unsigned substream = 0;
};

std::optional<AudioPacket> readAudio(std::span<const std::byte> pack, std::size_t packet,
                                     std::size_t payload) {
    if (pack.size() != static_cast<std::size_t>(mpeg::kDvdPackSize) || payload + 4 > pack.size() ||
        byteAt(pack, packet + 3) != mpeg::kPrivateStream1)
        return std::nullopt;
    AudioPacket audio;
    audio.packet = packet;
    audio.payload = payload;
    audio.end = packet + mpeg::packetSize(pack, packet);
    audio.substream = byteAt(pack, payload);
    const bool lpcm = (audio.substream & 0xF8) == 0xA0;
    const bool coded = (audio.substream & 0xF0) == 0x80; // AC-3 0x80-87, DTS 0x88-8F
    if (!lpcm && !coded)
        return std::nullopt;
    audio.frames = byteAt(pack, payload + 1);
    const std::size_t pointer = byteAt(pack, payload + 2) << 8 | byteAt(pack, payload + 3);
    audio.data = payload + (lpcm ? 7 : 4);
    audio.firstFrame = payload + 3 + pointer;
    if (audio.end > pack.size() || audio.data > audio.end || audio.frames == 0 ||
        audio.firstFrame < audio.data || audio.firstFrame >= audio.end)
        return std::nullopt;
    return audio;
}

// The pack made again with the packet's data [from, to), its substream header saying
// `frames` frames with the first at `first` (relative to the data), with or without the
// timestamp, the rest of the pack padding.
std::vector<std::byte> rebuild(std::span<const std::byte> pack, const AudioPacket& audio,
                               std::size_t from, std::size_t to, unsigned frames,
                               bool keepTimestamp) {
    std::vector<std::byte> out(pack.begin(), pack.begin() + std::ptrdiff_t(audio.packet));
    std::vector<std::byte> pes(pack.begin() + std::ptrdiff_t(audio.packet),
                               pack.begin() + std::ptrdiff_t(audio.data));
    if (!keepTimestamp) {
        // Drops the PTS and DTS fields, keeping the header's other fields.
        const unsigned flags = byteAt(pes, 7) >> 6;
        const std::size_t fields = flags == 3 ? 10 : flags == 2 ? 5 : 0;
        pes.erase(pes.begin() + 9, pes.begin() + 9 + std::ptrdiff_t(fields));
        pes[7] = std::byte(byteAt(pes, 7) & 0x3F);
        pes[8] = std::byte(byteAt(pes, 8) - fields);
    }
    const std::size_t header = pes.size() - (audio.data - audio.payload); // up to the substream
    pes[header + 1] = std::byte(frames);
    const std::size_t pointer = frames == 0 ? 0 : audio.data - (audio.payload + 3);
    pes[header + 2] = std::byte(pointer >> 8);
    pes[header + 3] = std::byte(pointer & 0xFF);
    pes.insert(pes.end(), pack.begin() + std::ptrdiff_t(from), pack.begin() + std::ptrdiff_t(to));
    std::size_t left = pack.size() - out.size() - pes.size();
    if (left > 0 && left < 6) {
        // Too little room for a padding packet: stuffing in the PES header takes it.
        pes.insert(pes.begin() + 9 + std::ptrdiff_t(byteAt(pes, 8)), left, std::byte{0xFF});
        pes[8] = std::byte(byteAt(pes, 8) + left);
        left = 0;
    }
    const std::size_t length = pes.size() - mpeg::kPacketPrefixSize;
    pes[4] = std::byte(length >> 8);
    pes[5] = std::byte(length & 0xFF);
    out.insert(out.end(), pes.begin(), pes.end());
    if (left >= 6) {
        const std::size_t padding = left - 6;
        const std::byte head[] = {std::byte{0},
                                  std::byte{0},
                                  std::byte{1},
                                  std::byte{0xBE},
                                  std::byte(padding >> 8),
                                  std::byte(padding & 0xFF)};
        out.insert(out.end(), std::begin(head), std::end(head));
        out.insert(out.end(), padding, std::byte{0xFF});
    }
    return out;
}

// The size of the AC-3 or 16-bit LPCM frames of the packet; nothing for others.
std::optional<std::size_t> frameSize(std::span<const std::byte> pack, const AudioPacket& audio) {
    if ((audio.substream & 0xF8) == 0x80) {
        const std::size_t at = audio.firstFrame;
        if (at + 5 > audio.end || byteAt(pack, at) != 0x0B || byteAt(pack, at + 1) != 0x77)
            return std::nullopt;
        const unsigned rate = byteAt(pack, at + 4) >> 6;
        const unsigned code = byteAt(pack, at + 4) & 0x3F;
        if (rate != 0 || code / 2 >= kAc3Words48.size())
            return std::nullopt;
        return std::size_t{2} * kAc3Words48[code / 2];
    }
    if ((audio.substream & 0xF8) == 0xA0) {
        const unsigned format = byteAt(pack, audio.payload + 5);
        const unsigned bits = format >> 6;
        const unsigned rate = format >> 4 & 0x03;
        const unsigned channels = (format & 0x07) + 1;
        if (bits != 0 || rate != 0)
            return std::nullopt;
        return std::size_t{80} * channels * 2; // 1/600 s of 16-bit samples at 48 kHz
    }
    return std::nullopt;
}

} // namespace

std::optional<std::vector<std::byte>> lastFrameOnly(std::span<const std::byte> pack,
                                                    std::size_t packet, std::size_t payload) {
    const auto audio = readAudio(pack, packet, payload);
    if (!audio)
        return std::nullopt;
    const auto size = frameSize(pack, *audio);
    if (!size)
        return std::nullopt;
    const std::size_t starts = (audio->end - audio->firstFrame + *size - 1) / *size;
    const std::size_t last = audio->firstFrame + (starts - 1) * *size;
    auto out = rebuild(pack, *audio, last, audio->end, 1, true);
    // The frames before it: 1536 samples of AC-3, 80 of LPCM, at 48 kHz.
    const std::int64_t frameTicks = (audio->substream & 0xF8) == 0x80 ? 2880 : 150;
    const std::size_t pes = audio->packet;
    if ((byteAt(out, pes + 7) >> 6) >= 2) {
        std::int64_t pts = (std::int64_t(byteAt(out, pes + 9) >> 1 & 7) << 30) |
                           (std::int64_t(byteAt(out, pes + 10)) << 22) |
                           (std::int64_t(byteAt(out, pes + 11) >> 1) << 15) |
                           (std::int64_t(byteAt(out, pes + 12)) << 7) |
                           std::int64_t(byteAt(out, pes + 13) >> 1);
        pts = (pts + std::int64_t(starts - 1) * frameTicks) & ((std::int64_t{1} << 33) - 1);
        out[pes + 9] = std::byte((byteAt(out, pes + 9) & 0xF0) | (pts >> 29 & 0x0E) | 1);
        out[pes + 10] = std::byte(pts >> 22 & 0xFF);
        out[pes + 11] = std::byte((pts >> 14 & 0xFE) | 1);
        out[pes + 12] = std::byte(pts >> 7 & 0xFF);
        out[pes + 13] = std::byte((pts << 1 & 0xFE) | 1);
    }
    return out;
}

std::optional<std::vector<std::byte>> beforeFirstFrame(std::span<const std::byte> pack,
                                                       std::size_t packet, std::size_t payload) {
    const auto audio = readAudio(pack, packet, payload);
    if (!audio || audio->firstFrame == audio->data)
        return std::nullopt;
    return rebuild(pack, *audio, audio->data, audio->firstFrame, 0, false);
}

std::optional<std::vector<std::byte>> fromFirstFrame(std::span<const std::byte> pack,
                                                     std::size_t packet, std::size_t payload) {
    const auto audio = readAudio(pack, packet, payload);
    if (!audio || audio->firstFrame == audio->data)
        return std::nullopt;
    return rebuild(pack, *audio, audio->firstFrame, audio->end, audio->frames, true);
}

std::optional<std::vector<std::byte>> toLastFrame(std::span<const std::byte> pack,
                                                  std::size_t packet, std::size_t payload) {
    const auto audio = readAudio(pack, packet, payload);
    if (!audio)
        return std::nullopt;
    const auto size = frameSize(pack, *audio);
    if (!size)
        return std::nullopt;
    const std::size_t whole = (audio->end - audio->firstFrame) / *size;
    const std::size_t cut = audio->firstFrame + whole * *size;
    if (cut == audio->end)
        return std::nullopt;
    if (whole == 0 && audio->firstFrame == audio->data)
        return std::vector<std::byte>{};
    return rebuild(pack, *audio, audio->data, cut, static_cast<unsigned>(whole), whole > 0);
}

} // namespace parvane::edges
