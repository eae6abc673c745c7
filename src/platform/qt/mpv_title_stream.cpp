#include "mpv_title_stream.h"

#include <mpv/stream_cb.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <map>

#include <fcntl.h>
#include <unistd.h>

namespace parvane {

namespace {

constexpr const char* kProtocol = "parvane";

// One cell's bytes: the title's byte range [begin, end) read over its extents.
class CellStream {
public:
    CellStream(std::shared_ptr<const Title> title, const Cell& cell)
        : title_(std::move(title)), begin_(cell.begin), end_(cell.end) {}
    ~CellStream() {
        for (const auto& [path, fd] : files_)
            ::close(fd);
    }
    CellStream(const CellStream&) = delete;
    CellStream& operator=(const CellStream&) = delete;

    std::int64_t size() const { return end_ - begin_; }

    std::int64_t read(char* buffer, std::uint64_t wanted) {
        std::int64_t done = 0;
        while (wanted > 0 && begin_ + position_ < end_) {
            const auto got = readAt(begin_ + position_, buffer + done,
                                    std::min<std::int64_t>(static_cast<std::int64_t>(wanted),
                                                           end_ - begin_ - position_));
            if (got < 0)
                return done > 0 ? done : -1;
            if (got == 0)
                break;
            done += got;
            position_ += got;
            wanted -= static_cast<std::uint64_t>(got);
        }
        return done;
    }

    std::int64_t seek(std::int64_t offset) {
        if (offset < 0 || offset > size())
            return MPV_ERROR_GENERIC;
        position_ = offset;
        return offset;
    }

private:
    // Reads from the one extent that holds `at`, no further than its end.
    std::int64_t readAt(std::int64_t at, char* buffer, std::int64_t count) {
        std::int64_t extentStart = 0;
        for (const Extent& extent : title_->extents) {
            if (at < extentStart + extent.length) {
                const int fd = fileOf(extent.path);
                if (fd < 0)
                    return -1;
                const std::int64_t inside = at - extentStart;
                const auto length =
                    static_cast<std::size_t>(std::min(count, extent.length - inside));
                ssize_t got = 0;
                do {
                    got = ::pread(fd, buffer, length, extent.offset + inside);
                } while (got < 0 && errno == EINTR);
                return got;
            }
            extentStart += extent.length;
        }
        return 0;
    }

    int fileOf(const std::string& path) {
        const auto known = files_.find(path);
        if (known != files_.end())
            return known->second;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0)
            files_.emplace(path, fd);
        return fd;
    }

    std::shared_ptr<const Title> title_;
    std::int64_t begin_;
    std::int64_t end_;
    std::int64_t position_ = 0;
    std::map<std::string, int> files_;
};

// A stream address: the protocol, the load it belongs to and the cell's index.
std::string addressOf(std::uint64_t generation, std::size_t cell) {
    return std::string(kProtocol) + "://" + std::to_string(generation) + "/" + std::to_string(cell);
}

bool parseAddress(const std::string& uri, std::uint64_t& generation, std::size_t& cell) {
    const std::string prefix = std::string(kProtocol) + "://";
    if (uri.compare(0, prefix.size(), prefix) != 0)
        return false;
    const char* at = uri.data() + prefix.size();
    const char* end = uri.data() + uri.size();
    const auto first = std::from_chars(at, end, generation);
    if (first.ec != std::errc() || first.ptr == end || *first.ptr != '/')
        return false;
    const auto second = std::from_chars(first.ptr + 1, end, cell);
    return second.ec == std::errc() && second.ptr == end;
}

} // namespace

MpvTitleStreams::MpvTitleStreams(mpv_handle* mpv) {
    mpv_stream_cb_add_ro(mpv, kProtocol, this, &MpvTitleStreams::open);
}

std::string MpvTitleStreams::load(const Title& title) {
    std::uint64_t generation = 0;
    {
        const std::lock_guard lock(mutex_);
        title_ = std::make_shared<const Title>(title);
        generation = ++generation_;
    }
    // Each segment is the cell's whole stream from its first timestamp, for the cell's
    // playback time: the title's timeline, not the stream's, decides where cells meet.
    std::string edl = "edl://";
    for (std::size_t i = 0; i < title.cells.size(); ++i) {
        if (title.cells[i].duration <= 0)
            continue;
        const std::string address = addressOf(generation, i);
        std::array<char, 32> length{};
        std::snprintf(length.data(), length.size(), "%.6f", title.cells[i].duration);
        edl +=
            "%" + std::to_string(address.size()) + "%" + address + ",length=" + length.data() + ";";
    }
    return edl;
}

int MpvTitleStreams::open(void* self, char* uri, mpv_stream_cb_info* info) {
    auto& streams = *static_cast<MpvTitleStreams*>(self);
    std::uint64_t generation = 0;
    std::size_t index = 0;
    if (!parseAddress(uri, generation, index))
        return MPV_ERROR_LOADING_FAILED;
    std::shared_ptr<const Title> title;
    {
        const std::lock_guard lock(streams.mutex_);
        if (generation != streams.generation_ || !streams.title_ ||
            index >= streams.title_->cells.size())
            return MPV_ERROR_LOADING_FAILED;
        title = streams.title_;
    }
    const Cell& cell = title->cells[index];
    if (cell.begin < 0 || cell.end <= cell.begin || cell.end > title->size())
        return MPV_ERROR_LOADING_FAILED;
    auto stream = std::make_unique<CellStream>(title, cell);
    std::array<char, 4> head{};
    if (stream->read(head.data(), head.size()) != 4 || head[0] != 0 || head[1] != 0 ||
        head[2] != 1 || static_cast<unsigned char>(head[3]) != 0xBA)
        return MPV_ERROR_LOADING_FAILED;
    stream->seek(0);

    info->cookie = stream.release();
    info->read_fn = [](void* cookie, char* buffer, std::uint64_t count) {
        return static_cast<CellStream*>(cookie)->read(buffer, count);
    };
    info->seek_fn = [](void* cookie, std::int64_t offset) {
        return static_cast<CellStream*>(cookie)->seek(offset);
    };
    info->size_fn = [](void* cookie) { return static_cast<CellStream*>(cookie)->size(); };
    info->close_fn = [](void* cookie) { delete static_cast<CellStream*>(cookie); };
    return 0;
}

} // namespace parvane
