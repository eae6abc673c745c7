#pragma once

#include "core/base/byte_range.h"
#include "core/base/title.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parvane {

class NavPackReader;
class PictureCodec;
class SourceFile;
class StreamRangeFinder;
namespace edges {
class PackSpan;
}

// A clip that shows exactly the marked pictures: new packs for the pictures at each edge,
// encoded again, around a stretch of the source copied as it is.
struct ExactClip {
    std::vector<std::byte> head; // before the copied bytes
    ByteRange middle;            // among the source's (or the title's) bytes
    std::vector<std::byte> tail; // after them
    std::vector<std::string> notes;

    std::int64_t size() const {
        return static_cast<std::int64_t>(head.size() + tail.size()) + middle.length;
    }
};

// Plans a frame-exact clip: the first picture is the one on screen at the begin mark, the
// last the one on screen at the end mark. Whole picture groups between them are copied;
// the pictures of the groups at each edge that the clip keeps are decoded and encoded
// again, and multiplexed with the audio and subpicture packs that belong with them. An edge
// that cannot be encoded again falls back to its whole VOBU, with a note that says so.
//
// Reads at most kEdgeReadLimit bytes around each mark. Throws SaveError.
class ExactClipPlanner {
public:
    static constexpr std::int64_t kEdgeReadLimit = std::int64_t{3} << 20;

    // `title` null: a plain stream, its seconds counted from its first timestamp.
    ExactClipPlanner(const Title* title, SourceFile& source, const NavPackReader* navPacks,
                     PictureCodec& codec);
    ~ExactClipPlanner();
    ExactClipPlanner(const ExactClipPlanner&) = delete;
    ExactClipPlanner& operator=(const ExactClipPlanner&) = delete;

    ExactClip plan(double beginSeconds, double endSeconds);
    // Bytes read from the source for the last plan.
    std::int64_t bytesRead() const { return bytesRead_; }

private:
    struct Edge;
    struct Moment;

    Moment locate(double seconds, bool end);
    // A plain stream's one finder, so its first and last packs are read once.
    StreamRangeFinder& plainFinder();
    // Reads the packs around the mark, more of them when the first part does not hold the
    // edge, and plans the head (or the tail) there.
    Edge planEdge(const Moment& moment, bool head);
    // The edge's packs and their pictures; returns the picture on screen at the mark.
    std::size_t startEdge(Edge& edge, const Moment& moment,
                          std::shared_ptr<const edges::PackSpan> span) const;
    Edge planHeadIn(const Moment& moment, std::shared_ptr<const edges::PackSpan> span);
    Edge planTailIn(const Moment& moment, std::shared_ptr<const edges::PackSpan> span);
    Edge planWhole(const Moment& begin, const Moment& end);
    std::vector<std::byte> encode(const Edge& edge, std::int64_t firstBlock, bool head,
                                  std::int64_t middleBlocks, std::optional<int> parity = {});
    // Which of two 2048-byte blocks of its file the title's byte `offset` lies in: where a
    // kernel copy from there is fastest to, within a memory page.
    int fileBlockParity(std::int64_t offset) const;

    const Title* title_;
    SourceFile& source_;
    const NavPackReader* navPacks_;
    PictureCodec& codec_;
    std::unique_ptr<StreamRangeFinder> plainFinder_;
    std::int64_t bytesRead_ = 0;
};

} // namespace parvane
