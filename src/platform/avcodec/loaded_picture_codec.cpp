#include "platform/avcodec/loaded_picture_codec.h"

#include <dlfcn.h>

namespace parvane {

LoadedPictureCodec::LoadedPictureCodec(std::string modulePath)
    : modulePath_(std::move(modulePath)) {}

LoadedPictureCodec::~LoadedPictureCodec() {
    // The codec's code lives in the module: it goes first.
    codec_.reset();
    if (module_)
        ::dlclose(module_);
}

PictureCodec* LoadedPictureCodec::codec() {
    if (codec_ || !failure_.empty())
        return codec_.get();
    module_ = ::dlopen(modulePath_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module_) {
        const char* reason = ::dlerror();
        failure_ = "the picture codec could not be loaded: " + std::string(reason ? reason : "");
        return nullptr;
    }
    using Make = PictureCodec* (*)();
    const auto make = reinterpret_cast<Make>(::dlsym(module_, "parvane_make_picture_codec"));
    if (!make) {
        failure_ = "the picture codec module is not the right one";
        return nullptr;
    }
    codec_.reset(make());
    return codec_.get();
}

std::vector<PictureCodec::Picture> LoadedPictureCodec::decode(std::span<const Chunk> chunks) {
    PictureCodec* loaded = codec();
    return loaded ? loaded->decode(chunks) : std::vector<Picture>{};
}

PictureCodec::Result LoadedPictureCodec::encode(std::int64_t firstPts, std::int64_t lastPts) {
    PictureCodec* loaded = codec();
    return loaded ? loaded->encode(firstPts, lastPts) : Result{{}, failure_};
}

} // namespace parvane
