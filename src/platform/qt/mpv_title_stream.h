#pragma once

#include "core/base/title.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

struct mpv_handle;
struct mpv_stream_cb_info;

namespace parvane {

// Serves a DVD title to mpv as one stream of the program's own protocol: its cells one after
// another, each cell's clock moved on so that the title's timestamps run on without a jump
// where a disc starts its clock again.
//
// Only the title given last can be opened, and only from the files its extents name:
// nothing else reaches mpv through the protocol. The stream must begin with a pack header,
// so no playlist or other text format of mpv's can be made of its bytes.
class MpvTitleStreams {
public:
    // Registers the protocol on `mpv`, which must be destroyed before this object.
    explicit MpvTitleStreams(mpv_handle* mpv);

    // Makes `title` the one that can be opened and returns the address that plays it. Cells
    // that play no time are left out, as they take no place on the timeline.
    std::string load(const Title& title);

private:
    static int open(void* self, char* uri, ::mpv_stream_cb_info* info);

    std::mutex mutex_; // mpv opens streams from its own threads
    std::shared_ptr<const Title> title_;
    std::uint64_t generation_ = 0; // which load a stream's address belongs to
};

} // namespace parvane
