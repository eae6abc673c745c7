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
    if (audio.end > pack.size() || audio.data > audio.end)
        return std::nullopt;
    // A packet that only ends a frame begun before starts none.
    if (audio.frames == 0) {
        audio.firstFrame = audio.end;
        return audio;
    }
    if (audio.firstFrame < audio.data || audio.firstFrame >= audio.end)
        return std::nullopt;
    return audio;
}

// The pack made again with the packet's data [from, to), its substream header saying
// `frames` frames with the first at `firstAt`, stamped `pts` when given, the rest of the
// pack padding.
std::vector<std::byte> rebuild(std::span<const std::byte> pack, const AudioPacket& audio,
                               std::size_t from, std::size_t to, unsigned frames,
                               std::optional<std::int64_t> pts, std::size_t firstAt) {
    std::vector<std::byte> out(pack.begin(), pack.begin() + std::ptrdiff_t(audio.packet));
    std::vector<std::byte> pes(9, std::byte{0});
    pes[2] = std::byte{1};
    pes[3] = std::byte{mpeg::kPrivateStream1};
    pes[6] = pack[audio.packet + 6];
    if (pts) {
        pes[7] = std::byte{0x80};
        pes[8] = std::byte{5};
        pes.resize(14);
        const std::int64_t value = *pts & ((std::int64_t{1} << 33) - 1);
        pes[9] = std::byte(0x21 | (value >> 29 & 0x0E));
        pes[10] = std::byte(value >> 22 & 0xFF);
        pes[11] = std::byte((value >> 14 & 0xFE) | 1);
        pes[12] = std::byte(value >> 7 & 0xFF);
        pes[13] = std::byte((value << 1 & 0xFE) | 1);
    }
    pes.insert(pes.end(), pack.begin() + std::ptrdiff_t(audio.payload),
               pack.begin() + std::ptrdiff_t(audio.data));
    const std::size_t header = pes.size() - (audio.data - audio.payload); // up to the substream
    pes[header + 1] = std::byte(frames);
    // Counted from the pointer's last byte; the kept bytes start right after the header.
    const std::size_t pointer = frames == 0 ? 0 : audio.data - (audio.payload + 3) + firstAt - from;
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
    return std::nullopt;
}

bool isLpcm(const AudioPacket& audio) {
    return (audio.substream & 0xF8) == 0xA0;
}

// LPCM has no frames to keep whole: any sample is a place to cut. A packet counts as one
// frame, as long as the 16-bit samples at 48 kHz it holds last.
std::optional<FrameLayout> lpcmLayout(std::span<const std::byte> pack, const AudioPacket& audio,
                                      std::optional<std::int64_t> pts) {
    const unsigned format = byteAt(pack, audio.payload + 5);
    const unsigned channels = (format & 0x07) + 1;
    if (format >> 6 != 0 || (format >> 4 & 0x03) != 0)
        return std::nullopt;
    const std::size_t samples = (audio.end - audio.data) / (2 * channels);
    return FrameLayout{1, 1, pts, static_cast<std::int64_t>(samples * 90000 / 48000), false};
}

} // namespace

std::optional<FrameLayout> frameLayout(std::span<const std::byte> pack, std::size_t packet,
                                       std::size_t payload) {
    const auto audio = readAudio(pack, packet, payload);
    if (!audio)
        return std::nullopt;
    const auto pes = pack.subspan(packet);
    const auto header = mpeg::readPesHeader(pes.subspan(0, std::min(pes.size(), std::size_t{32})));
    if (!header)
        return std::nullopt;
    if (isLpcm(*audio))
        return lpcmLayout(pack, *audio, header->pts);
    if (audio->frames == 0)
        return FrameLayout{0, 0, std::nullopt, 0, true};
    const auto size = frameSize(pack, *audio);
    if (!size)
        return std::nullopt;
    FrameLayout layout;
    layout.count = audio->frames;
    layout.whole = std::min<std::size_t>(audio->frames, (audio->end - audio->firstFrame) / *size);
    // Frames the packet does not hold the start of cannot be counted in it.
    if ((audio->end - audio->firstFrame + *size - 1) / *size != layout.count)
        return std::nullopt;
    layout.pts = header->pts;
    layout.ticks = (audio->substream & 0xF8) == 0x80 ? 2880 : 150; // 1536 or 80 samples
    layout.lead = audio->firstFrame > audio->data;
    return layout;
}

std::vector<std::byte> keepFrames(std::span<const std::byte> pack, std::size_t packet,
                                  std::size_t payload, std::size_t from, std::size_t to, bool lead,
                                  std::optional<std::int64_t> fromTime) {
    const auto audio = readAudio(pack, packet, payload);
    const auto layout = frameLayout(pack, packet, payload);
    if (!audio || !layout)
        return {pack.begin(), pack.end()};
    if (isLpcm(*audio)) {
        if (from == 0 && to > 0)
            return {pack.begin(), pack.end()};
        return {};
    }
    const std::size_t size = layout->count > 0 ? *frameSize(pack, *audio) : 0;
    to = std::min(to, layout->count);
    from = std::min(from, to);
    const std::size_t begin = lead && from == 0 ? audio->data : audio->firstFrame + from * size;
    const std::size_t end = to == layout->count ? audio->end : audio->firstFrame + to * size;
    if (begin >= end)
        return {};
    const auto frames = static_cast<unsigned>(to - from);
    const auto pts = frames > 0 ? fromTime : std::nullopt;
    return rebuild(pack, *audio, begin, end, frames, pts, audio->firstFrame + from * size);
}

std::vector<std::byte> silenced(std::span<const std::byte> pack, std::size_t packet) {
    std::vector<std::byte> out(pack.begin(), pack.end());
    const std::size_t end = std::min(out.size(), packet + mpeg::packetSize(pack, packet));
    out[packet + 3] = std::byte{0xBE};
    std::fill(out.begin() + std::ptrdiff_t(packet + mpeg::kPacketPrefixSize),
              out.begin() + std::ptrdiff_t(end), std::byte{0xFF});
    return out;
}

} // namespace parvane::edges
