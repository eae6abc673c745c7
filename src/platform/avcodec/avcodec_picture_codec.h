#pragma once

#include "platform/picture_codec.h"

#include <memory>

struct AVFrame;

namespace parvane {

// The edge pictures decoded and encoded again with libavcodec's MPEG-2 video codec. The
// encoder writes frame pictures of a progressive sequence; the sequence and picture flags
// are then set to the source's in the coded bytes, which frame prediction and frame DCT
// allow for either field order.
class AvcodecPictureCodec final : public PictureCodec {
public:
    AvcodecPictureCodec();
    ~AvcodecPictureCodec() override;
    AvcodecPictureCodec(const AvcodecPictureCodec&) = delete;
    AvcodecPictureCodec& operator=(const AvcodecPictureCodec&) = delete;

    std::vector<Picture> decode(std::span<const Chunk> chunks) override;
    Result encode(std::int64_t firstPts, std::int64_t lastPts) override;

    // The stream's form as its first sequence header and sequence extension give it.
    struct Form {
        int width = 0;
        int height = 0;
        int aspectCode = 0;
        int frameRateCode = 0;
        bool progressiveSequence = false;
        int chromaFormat = 0; // 1 is 4:2:0; 0 when the stream is MPEG-1
    };

private:
    struct FrameFree {
        void operator()(AVFrame* frame) const;
    };
    struct Kept {
        Picture picture;
        std::unique_ptr<AVFrame, FrameFree> frame;
    };

    Form form_;
    std::vector<Kept> kept_; // display order
};

} // namespace parvane
