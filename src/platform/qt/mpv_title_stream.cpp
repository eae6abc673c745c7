#include "mpv_title_stream.h"

#include "core/stream/program_stream.h"

#include <mpv/stream_cb.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace parvane {

namespace {

constexpr const char* kProtocol = "parvane";
constexpr std::int64_t kPackSize = 2048;
// Where a cell's earliest timestamp is looked for: its first 128 packs, a few tenths of a
// second of DVD video, where its first timestamps lie.
constexpr std::int64_t kHeadOfCell = 128 * kPackSize;

// The title's bytes as they lie in its files.
class TitleBytes {
public:
    explicit TitleBytes(std::shared_ptr<const Title> title) : title_(std::move(title)) {}
    ~TitleBytes() {
        for (const auto& [path, fd] : files_)
            ::close(fd);
    }
    TitleBytes(const TitleBytes&) = delete;
    TitleBytes& operator=(const TitleBytes&) = delete;

    const Title& title() const { return *title_; }

    // Reads up to `count` bytes at `at` among the title's bytes; fewer at an extent's end,
    // -1 when a file cannot be read.
    std::int64_t readAt(std::int64_t at, std::byte* buffer, std::int64_t count) {
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

    // Reads `count` bytes at `at` whole, unless the files end or fail first.
    std::int64_t readFully(std::int64_t at, std::byte* buffer, std::int64_t count) {
        std::int64_t done = 0;
        while (done < count) {
            const std::int64_t got = readAt(at + done, buffer + done, count - done);
            if (got <= 0)
                return done > 0 ? done : got;
            done += got;
        }
        return done;
    }

private:
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
    std::map<std::string, int> files_;
};

// A title's cells one after another as one program stream whose clock runs on from cell to
// cell: each cell's clock references and timestamps are moved so that its earliest
// timestamp falls at the cell's place on the title's timeline, counted from the first
// cell's. Discs start their clocks again between cells; a player given the cells as they are
// would take each new start for a jump back. One stream, rather than one per cell, also lets
// mpv open a title of hundreds of cells as fast as one of a single cell.
class TitleStream {
public:
    explicit TitleStream(std::shared_ptr<const Title> title) : bytes_(std::move(title)) {
        std::int64_t at = 0;
        for (const Cell& cell : bytes_.title().cells) {
            if (cell.duration <= 0 || cell.end <= cell.begin)
                continue; // takes no place on the timeline
            pieces_.push_back({cell.begin, cell.end, at, cell.start, std::nullopt});
            at += cell.end - cell.begin;
        }
        size_ = at;
    }

    std::int64_t size() const { return size_; }

    std::int64_t read(char* buffer, std::uint64_t wanted) {
        std::int64_t done = 0;
        while (wanted > 0 && position_ < size_) {
            const std::int64_t got =
                readPiece(reinterpret_cast<std::byte*>(buffer) + done,
                          std::min<std::int64_t>(static_cast<std::int64_t>(wanted), kChunk));
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
        if (offset < 0 || offset > size_)
            return MPV_ERROR_GENERIC;
        position_ = offset;
        return offset;
    }

    // Whether the stream begins with a pack header, as every cell of a title does.
    bool startsWithPack() {
        std::array<std::byte, 4> head{};
        const auto saved = position_;
        position_ = 0;
        const bool pack = read(reinterpret_cast<char*>(head.data()), head.size()) == 4 &&
                          mpeg::startsWithStartCode(head) &&
                          std::to_integer<int>(head[3]) == mpeg::kPackStart;
        position_ = saved;
        return pack;
    }

private:
    static constexpr std::int64_t kChunk = 64 * kPackSize;

    struct Piece {
        std::int64_t begin = 0; // among the title's bytes
        std::int64_t end = 0;
        std::int64_t at = 0; // where it starts in this stream
        double start = 0;    // its place on the title's timeline
        std::optional<std::int64_t> shift;
    };

    // Reads from the piece that holds the position, whole packs at a time so that each pack
    // is moved on whole, and no further than the piece's end.
    std::int64_t readPiece(std::byte* buffer, std::int64_t count) {
        Piece& piece = *std::prev(std::upper_bound(
            pieces_.begin(), pieces_.end(), position_,
            [](std::int64_t position, const Piece& p) { return position < p.at; }));
        const std::int64_t inside = position_ - piece.at;
        const std::int64_t packStart = inside / kPackSize * kPackSize;
        const std::int64_t length = piece.end - piece.begin;
        const std::int64_t upTo = std::min(length, inside + count);
        const std::int64_t packsEnd =
            std::min(length, (upTo + kPackSize - 1) / kPackSize * kPackSize);
        packs_.resize(static_cast<std::size_t>(packsEnd - packStart));
        const std::int64_t got =
            bytes_.readFully(piece.begin + packStart, packs_.data(), packsEnd - packStart);
        if (got <= 0)
            return got;
        const std::int64_t shift = shiftOf(piece);
        if (shift != 0)
            for (std::int64_t pack = 0; pack + kPackSize <= got; pack += kPackSize)
                mpeg::shiftPackClocks(
                    std::span(packs_).subspan(static_cast<std::size_t>(pack), kPackSize), shift);
        const std::int64_t available = std::min(got, upTo - packStart) - (inside - packStart);
        if (available <= 0)
            return 0;
        std::copy_n(packs_.begin() + (inside - packStart), available, buffer);
        return available;
    }

    // How far the piece's clock moves: its earliest timestamp onto its place on the title's
    // timeline, measured from the first piece's earliest timestamp.
    std::int64_t shiftOf(Piece& piece) {
        if (!piece.shift) {
            if (!originRead_) {
                origin_ = earliestOf(pieces_.front());
                originRead_ = true;
            }
            const auto& origin = origin_;
            const auto own = &piece == &pieces_.front() ? origin_ : earliestOf(piece);
            piece.shift = 0;
            if (origin && own) {
                const auto place =
                    std::llround((piece.start - pieces_.front().start) * mpeg::kTicksPerSecond);
                piece.shift = mpeg::ticksBetween(*own, *origin) + place;
            }
        }
        return *piece.shift;
    }

    std::optional<std::int64_t> earliestOf(const Piece& piece) {
        std::vector<std::byte> head(
            static_cast<std::size_t>(std::min(kHeadOfCell, piece.end - piece.begin)));
        const std::int64_t got =
            bytes_.readFully(piece.begin, head.data(), static_cast<std::int64_t>(head.size()));
        if (got <= 0)
            return std::nullopt;
        return mpeg::earliestTimestamp(std::span(head).first(static_cast<std::size_t>(got)));
    }

    TitleBytes bytes_;
    std::vector<Piece> pieces_;
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
    std::vector<std::byte> packs_;
    std::optional<std::int64_t> origin_; // the first piece's earliest timestamp
    bool originRead_ = false;
};

// A stream address: the protocol and the load it belongs to.
std::string addressOf(std::uint64_t generation) {
    return std::string(kProtocol) + "://" + std::to_string(generation);
}

bool parseAddress(const std::string& uri, std::uint64_t& generation) {
    const std::string prefix = std::string(kProtocol) + "://";
    if (uri.compare(0, prefix.size(), prefix) != 0)
        return false;
    const char* at = uri.data() + prefix.size();
    const char* end = uri.data() + uri.size();
    const auto parsed = std::from_chars(at, end, generation);
    return parsed.ec == std::errc() && parsed.ptr == end;
}

} // namespace

MpvTitleStreams::MpvTitleStreams(mpv_handle* mpv) {
    mpv_stream_cb_add_ro(mpv, kProtocol, this, &MpvTitleStreams::open);
}

std::string MpvTitleStreams::load(const Title& title) {
    const std::lock_guard lock(mutex_);
    title_ = std::make_shared<const Title>(title);
    return addressOf(++generation_);
}

int MpvTitleStreams::open(void* self, char* uri, mpv_stream_cb_info* info) {
    auto& streams = *static_cast<MpvTitleStreams*>(self);
    std::uint64_t generation = 0;
    if (!parseAddress(uri, generation))
        return MPV_ERROR_LOADING_FAILED;
    std::shared_ptr<const Title> title;
    {
        const std::lock_guard lock(streams.mutex_);
        if (generation != streams.generation_ || !streams.title_)
            return MPV_ERROR_LOADING_FAILED;
        title = streams.title_;
    }
    for (const Cell& cell : title->cells)
        if (cell.begin < 0 || cell.end < cell.begin || cell.end > title->size())
            return MPV_ERROR_LOADING_FAILED;
    auto stream = std::make_unique<TitleStream>(title);
    if (stream->size() == 0 || !stream->startsWithPack())
        return MPV_ERROR_LOADING_FAILED;

    info->cookie = stream.release();
    info->read_fn = [](void* cookie, char* buffer, std::uint64_t count) {
        return static_cast<TitleStream*>(cookie)->read(buffer, count);
    };
    info->seek_fn = [](void* cookie, std::int64_t offset) {
        return static_cast<TitleStream*>(cookie)->seek(offset);
    };
    info->size_fn = [](void* cookie) { return static_cast<TitleStream*>(cookie)->size(); };
    info->close_fn = [](void* cookie) { delete static_cast<TitleStream*>(cookie); };
    return 0;
}

} // namespace parvane
