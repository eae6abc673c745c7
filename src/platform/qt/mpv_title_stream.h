#pragma once

#include "core/title.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

struct mpv_handle;
struct mpv_stream_cb_info;

namespace parvane {

// Serves a DVD title's cells to mpv as streams of the program's own protocol, and names
// them in an EDL that mpv plays as one timeline: each cell is opened and timed apart, so a
// clock that starts again at the next cell is no jump on the title's timeline.
//
// Only the title given last can be opened, only its cells, and only from the files its
// extents name: nothing else reaches mpv through the protocol. A cell must begin with a
// pack header, so no playlist, EDL or other text format of mpv's can be made of its bytes.
class MpvTitleStreams {
public:
    // Registers the protocol on `mpv`, which must be destroyed before this object.
    explicit MpvTitleStreams(mpv_handle* mpv);

    // Makes `title` the one that can be opened and returns the EDL that plays it. Cells
    // that play no time are left out, as they take no place on the timeline.
    std::string load(const Title& title);

private:
    static int open(void* self, char* uri, ::mpv_stream_cb_info* info);

    std::mutex mutex_; // mpv opens streams from its own threads
    std::shared_ptr<const Title> title_;
    std::uint64_t generation_ = 0; // which load a stream's address belongs to
};

} // namespace parvane
