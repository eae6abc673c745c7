#pragma once

#include "platform/picture_codec.h"

#include <memory>
#include <string>

namespace parvane {

// The libavcodec picture codec, loaded from its module the first time a frame-exact save
// needs it, so that the program does not load libavcodec and its libraries at start-up.
// A module that cannot be loaded makes every edge fall back to its whole VOBU, saying why.
class LoadedPictureCodec final : public PictureCodec {
public:
    explicit LoadedPictureCodec(std::string modulePath);
    ~LoadedPictureCodec() override;

    std::vector<Picture> decode(std::span<const Chunk> chunks) override;
    Result encode(std::int64_t firstPts, std::int64_t lastPts) override;

private:
    PictureCodec* codec();

    std::string modulePath_;
    void* module_ = nullptr;
    std::unique_ptr<PictureCodec> codec_;
    std::string failure_;
};

} // namespace parvane
