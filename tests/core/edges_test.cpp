// The frame-exact clip's own packs: the multiplexer's packs and navigation packs, and audio
// packs cut to whole frames, read back with the same pack reader the edges use.

#include "core/edges/audio_edges.h"
#include "core/edges/edge_mux.h"
#include "core/edges/pack_span.h"
#include "platform/file_access.h"

#include <gtest/gtest.h>

#include <cstring>

namespace parvane {
namespace {

using edges::PackSpan;
using Bytes = std::vector<std::byte>;

class MemorySource : public SourceFile {
public:
    explicit MemorySource(Bytes bytes) : bytes_(std::move(bytes)) {}
    std::int64_t size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    std::size_t readAt(std::int64_t offset, std::byte* buffer, std::size_t count) override {
        const auto at = static_cast<std::size_t>(offset);
        const std::size_t n = at < bytes_.size() ? std::min(count, bytes_.size() - at) : 0;
        std::memcpy(buffer, bytes_.data() + at, n);
        return n;
    }

private:
    Bytes bytes_;
};

PackSpan spanOf(const Bytes& bytes) {
    static std::vector<std::unique_ptr<MemorySource>> sources;
    sources.push_back(std::make_unique<MemorySource>(bytes));
    return PackSpan(*sources.back(), 0, static_cast<std::int64_t>(bytes.size()));
}

std::uint32_t word(std::span<const std::byte> bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | std::to_integer<std::uint32_t>(bytes[at + i]);
    return value;
}

// A DVD AC-3 pack: pack header, private stream 1 packet with a PTS, substream 0x80 saying
// `frames` frames start in it, the first `first` bytes into its data, then `data`.
Bytes audioPack(const Bytes& data, unsigned frames, std::size_t first, std::int64_t pts) {
    Bytes pack(2048, std::byte{0xFF});
    const std::uint8_t head[] = {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8};
    std::memcpy(pack.data(), head, sizeof head);
    const std::size_t length = 3 + 5 + 4 + data.size();
    const std::uint8_t pes[] = {0,
                                0,
                                1,
                                0xBD,
                                std::uint8_t(length >> 8),
                                std::uint8_t(length),
                                0x81,
                                0x80,
                                5,
                                std::uint8_t(0x21 | (pts >> 29 & 0x0E)),
                                std::uint8_t(pts >> 22),
                                std::uint8_t(pts >> 14 | 1),
                                std::uint8_t(pts >> 7),
                                std::uint8_t(pts << 1 | 1),
                                0x80,
                                std::uint8_t(frames),
                                std::uint8_t((first + 1) >> 8),
                                std::uint8_t(first + 1)};
    std::memcpy(pack.data() + 14, pes, sizeof pes);
    std::memcpy(pack.data() + 14 + sizeof pes, data.data(), data.size());
    const std::size_t left = 2048 - 14 - sizeof pes - data.size();
    const std::uint8_t padding[] = {
        0, 0, 1, 0xBE, std::uint8_t((left - 6) >> 8), std::uint8_t(left - 6)};
    std::memcpy(pack.data() + 14 + sizeof pes + data.size(), padding, sizeof padding);
    return pack;
}

// The audio bytes of the packs as a decoder gets them: each packet's data after the
// substream's header.
Bytes audioData(const PackSpan& span) {
    Bytes data;
    for (const auto& packet : span.packets())
        if (packet.substream == 0x80) {
            const auto payload = span.payload(packet);
            data.insert(data.end(), payload.begin() + 4, payload.end());
        }
    return data;
}

// AC-3 frames of 768 bytes (192 kbit/s at 48 kHz), each filled with its own number.
Bytes ac3Frames(int count) {
    Bytes frames;
    for (int n = 0; n < count; ++n) {
        Bytes frame(768, std::byte(n));
        frame[0] = std::byte{0x0B};
        frame[1] = std::byte{0x77};
        frame[4] = std::byte{0x14}; // 48 kHz, frmsizecod 20: 384 words
        frames.insert(frames.end(), frame.begin(), frame.end());
    }
    return frames;
}

// Ten AC-3 frames of 2880 ticks from time 1000, over six packs of 1400 bytes each: every
// pack but the first starts inside a frame.
struct AudioStretch {
    Bytes stream = ac3Frames(10);
    Bytes packs;

    AudioStretch() {
        for (std::size_t at = 0; at < stream.size(); at += 1400) {
            const std::size_t end = std::min(at + 1400, stream.size());
            const std::size_t first = (at + 767) / 768; // the first frame that starts here
            const std::size_t starts = (end + 767) / 768 - first;
            const Bytes pack = audioPack(
                Bytes(stream.begin() + std::ptrdiff_t(at), stream.begin() + std::ptrdiff_t(end)),
                unsigned(starts), first * 768 - at, 1000 + 2880 * std::int64_t(first));
            packs.insert(packs.end(), pack.begin(), pack.end());
        }
    }
    static std::int64_t frameTime(int frame) { return 1000 + 2880 * std::int64_t(frame); }
    Bytes from(std::size_t byte) const {
        return Bytes(stream.begin() + std::ptrdiff_t(byte), stream.end());
    }
    Bytes upTo(std::size_t byte) const {
        return Bytes(stream.begin(), stream.begin() + std::ptrdiff_t(byte));
    }
};

// What a decoder gets of the edge's carried packs and the copied packs [from, to), with
// the rewritten ones in their places, in clip order.
Bytes heard(const PackSpan& span, const edges::AudioEdge& edge, std::size_t from, std::size_t to,
            bool carriedFirst) {
    Bytes carried;
    for (const auto& pack : edge.carried)
        carried.insert(carried.end(), pack.bytes.begin(), pack.bytes.end());
    Bytes copied;
    for (std::size_t k = from; k < to; ++k) {
        const auto found = edge.rewritten.find(k);
        const auto bytes = found != edge.rewritten.end() ? std::span<const std::byte>(found->second)
                                                         : span.packBytes(k);
        copied.insert(copied.end(), bytes.begin(), bytes.end());
    }
    Bytes clip = carriedFirst ? carried : copied;
    const Bytes& rest = carriedFirst ? copied : carried;
    clip.insert(clip.end(), rest.begin(), rest.end());
    return audioData(PackSpan(clip));
}

TEST(EdgeAudio, SoundStartsAndEndsWithWholeFramesNearestThePictures) {
    const AudioStretch audio;
    const PackSpan span = spanOf(audio.packs);
    ASSERT_EQ(span.packs().size(), 6u);

    // The frame nearest the first picture lies in the copied part (pack 2 of 6): the packs
    // before it there are silenced, its own cut to start with it, nothing carried.
    auto head = edges::headAudio(span, 2, AudioStretch::frameTime(4) + 100);
    EXPECT_TRUE(head.carried.empty());
    EXPECT_EQ(heard(span, head, 2, 6, true), audio.from(4 * 768));
    // It lies on the head's side: carried from that frame on, the copied part as it is.
    head = edges::headAudio(span, 2, AudioStretch::frameTime(1) - 100);
    EXPECT_TRUE(head.rewritten.empty());
    EXPECT_EQ(heard(span, head, 2, 6, true), audio.from(768));

    // The frame that ends nearest the last picture's end lies in the copied part, ending in
    // the pack after the one it starts in: that pack keeps only its end, the next is silenced.
    auto tail = edges::tailAudio(span, 4, AudioStretch::frameTime(4) - 100);
    EXPECT_TRUE(tail.carried.empty());
    EXPECT_EQ(heard(span, tail, 0, 4, false), audio.upTo(4 * 768));
    // It lies on the tail's side: the packs carried up to it, cut after it.
    tail = edges::tailAudio(span, 2, AudioStretch::frameTime(7) + 100);
    EXPECT_TRUE(tail.rewritten.empty());
    EXPECT_EQ(heard(span, tail, 0, 2, false), audio.upTo(7 * 768));
}

TEST(EdgeMultiplex, PacksArriveInTimeAndNavigationPacksTellTheTruth) {
    // Two groups of pictures of sizes that fill packs unevenly.
    std::vector<Bytes> coded;
    std::vector<edges::EdgePicture> pictures;
    const std::size_t sizes[] = {9000, 30, 2100, 4096, 7000, 500};
    for (std::size_t i = 0; i < std::size(sizes); ++i)
        coded.emplace_back(sizes[i], std::byte(i + 1));
    for (std::size_t i = 0; i < coded.size(); ++i) {
        edges::EdgePicture picture;
        picture.bytes = coded[i];
        picture.pts = 90000 + 3600 * std::int64_t(i);
        picture.dts = picture.pts - 3600;
        picture.duration = 3600;
        picture.type = i == 0 || i == 3 ? 'I' : 'P';
        picture.startsGroup = i == 3;
        pictures.push_back(picture);
    }
    const Bytes audio = audioPack(ac3Frames(1), 1, 0, 91000);
    std::vector<edges::CarriedPack> carried{{audio, 91000, 0, -1}};
    edges::EdgePlace place;
    place.firstBlock = 10;
    place.clockBefore = 100000;
    place.nextVobuFollows = true;

    const Bytes out = edges::multiplexEdge(pictures, carried, place);
    ASSERT_EQ(out.size() % 2048, 0u);
    const PackSpan span = spanOf(out);
    ASSERT_EQ(span.packs().size() * 2048, out.size()) << "a pack that does not read back";
    const auto& packs = span.packs();
    for (std::size_t k = 1; k < packs.size(); ++k)
        EXPECT_LT(packs[k - 1].scr, packs[k].scr);
    EXPECT_LE(packs.back().scr + 147, 100000) << "the copied part's clock must not go back";

    // The video stream is the pictures' bytes in order, each picture's start stamped, and
    // every pack of a picture arrives before it is decoded.
    Bytes video;
    Bytes expected;
    for (const Bytes& picture : coded)
        expected.insert(expected.end(), picture.begin(), picture.end());
    std::vector<std::size_t> starts;
    for (std::size_t i = 0, at = 0; i < coded.size(); at += coded[i++].size())
        starts.push_back(at);
    std::size_t stamped = 0;
    for (const auto& packet : span.packets()) {
        if (packet.streamId != 0xE0)
            continue;
        const auto payload = span.payload(packet);
        if (packet.pts) {
            // The first picture that starts in the packet.
            const auto i = static_cast<std::size_t>(
                std::lower_bound(starts.begin(), starts.end(), video.size()) - starts.begin());
            ASSERT_LT(i, pictures.size());
            EXPECT_LT(starts[i], video.size() + payload.size()) << "a PTS where nothing starts";
            EXPECT_EQ(*packet.pts, pictures[i].pts);
            EXPECT_EQ(packet.dts, pictures[i].dts);
            EXPECT_LE(packs[packet.pack].scr + 147, pictures[i].dts);
            ++stamped;
        }
        video.insert(video.end(), payload.begin(), payload.end());
    }
    EXPECT_EQ(video, expected);
    EXPECT_EQ(stamped, pictures.size() - 1)
        << "the picture after the 30-byte one starts in its packet";

    // One VOBU per group, each opened by a navigation pack; the audio pack is carried as
    // it was but for its clock.
    std::vector<std::size_t> navs;
    for (std::size_t k = 0; k < packs.size(); ++k)
        if (packs[k].navigation)
            navs.push_back(k);
    ASSERT_EQ(navs, (std::vector<std::size_t>{0, navs[1]}));
    const auto carriedBack = std::find_if(span.packets().begin(), span.packets().end(),
                                          [](const auto& p) { return p.streamId == 0xBD; });
    ASSERT_NE(carriedBack, span.packets().end());
    const auto audioBack = span.packBytes(carriedBack->pack);
    EXPECT_TRUE(std::equal(audioBack.begin() + 14, audioBack.end(), audio.begin() + 14));
    for (std::size_t g = 0; g < navs.size(); ++g) {
        const auto nav = span.packBytes(navs[g]);
        const std::size_t pci = 14 + 24 + 7;
        const std::size_t dsi = pci + 979 + 7;
        const std::size_t end = g + 1 < navs.size() ? navs[g + 1] : packs.size();
        EXPECT_EQ(word(nav, pci), 10 + navs[g]);
        EXPECT_EQ(word(nav, pci + 12), 90000 + 3600 * 3 * g);       // the first picture shown
        EXPECT_EQ(word(nav, pci + 16), 90000 + 3600 * 3 * (g + 1)); // the end of the last
        EXPECT_EQ(word(nav, dsi), packs[navs[g]].scr);
        EXPECT_EQ(word(nav, dsi + 4), 10 + navs[g]);
        EXPECT_EQ(word(nav, dsi + 8), end - 1 - navs[g]);
        // The next VOBU: the second group's, then the copied part right after the packs.
        EXPECT_EQ(word(nav, dsi + 234 + 80), 0x80000000u | (end - navs[g]));
    }
    EXPECT_EQ(word(span.packBytes(navs[0]), 14 + 24 + 7 + 979 + 7 + 402) >> 16,
              carriedBack->pack - navs[0])
        << "the first audio pack of stream 0, counted from the navigation pack";
}

} // namespace
} // namespace parvane
