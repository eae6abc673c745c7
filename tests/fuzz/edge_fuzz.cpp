// libFuzzer: frame-exact clips planned over any bytes, the edge pictures decoded and encoded
// again with libavcodec. Damaged groups must neither crash the decoder, the splicer or the
// multiplexer (the sanitizers watch that) nor give a clip that is not whole packs: the new
// edges are 2048-byte packs each opening with a pack header, and the copied part lies in the
// file and starts at one.

#include "core/base/errors.h"
#include "core/edges/exact_clip.h"
#include "fuzzed_source.h"
#include "platform/avcodec/avcodec_picture_codec.h"
#include "platform/dvdread/dvdread_nav_reader.h"
#include "platform/file_access.h"

#include <cstdlib>
#include <cstring>

namespace {

using namespace parvane;

using fuzzing::FuzzedSource;

bool opensPack(const std::byte* at) {
    static constexpr std::uint8_t kPackStart[] = {0x00, 0x00, 0x01, 0xBA};
    return std::memcmp(at, kPackStart, sizeof kPackStart) == 0;
}

void expectPacks(const std::vector<std::byte>& packs) {
    if (packs.size() % 2048 != 0)
        std::abort();
    for (std::size_t at = 0; at < packs.size(); at += 2048)
        if (!opensPack(packs.data() + at))
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const DvdreadNavReader navPacks;
    static AvcodecPictureCodec codec;
    FuzzedSource source(data, size);
    // Marks inside groups, so both edges are encoded, and marks the input picks.
    const double picked = size > 0 ? data[size - 1] / 64.0 : 0;
    for (const auto& [begin, end] : {std::pair{0.3, 1.1}, std::pair{picked, picked + 0.5}}) {
        try {
            const ExactClip clip =
                ExactClipPlanner(nullptr, source, &navPacks, codec).plan(begin, end);
            expectPacks(clip.head);
            expectPacks(clip.tail);
            if (clip.middle.offset < 0 || clip.middle.length < 0 ||
                clip.middle.end() > static_cast<std::int64_t>(size))
                std::abort();
            if (clip.middle.length > 0 &&
                !opensPack(reinterpret_cast<const std::byte*>(data) + clip.middle.offset))
                std::abort();
        } catch (const SaveError&) {
        }
    }
    return 0;
}
