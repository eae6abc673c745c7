// The module the program loads for frame-exact saves: libavcodec with the codec around it.

#include "platform/avcodec/avcodec_picture_codec.h"

extern "C" __attribute__((visibility("default"))) parvane::PictureCodec*
parvane_make_picture_codec() {
    return new parvane::AvcodecPictureCodec();
}
