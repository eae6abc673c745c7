#pragma once

// Reads the packs of an MPEG-2 program stream from a source, every byte counted against a
// limit: what a pack holds that a cut at stream times needs, and the packs in file order.

#include "core/stream/program_stream.h"

#include "platform/nav_pack_reader.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace parvane {

class SourceFile;

// How far a pack header is looked for before the bytes count as no program stream.
inline constexpr std::int64_t kPackSearchLimit = std::int64_t{64} << 10;

// A search has read all it was allowed to.
struct ReadLimitReached {};

// Reads the source, counting every byte and keeping the last piece read, since a pack's
// header and its first packet's header come in one read.
class SourceReader {
public:
    explicit SourceReader(SourceFile& source);

    std::int64_t size() const { return size_; }
    std::int64_t bytesRead() const { return bytesRead_; }
    // From now on, reads past `bytes` more throw ReadLimitReached.
    void allow(std::int64_t bytes) { limit_ = bytesRead_ + bytes; }

    // Up to `count` bytes at `offset`, fewer only at the end of the file; valid until the
    // next read.
    std::span<const std::byte> read(std::int64_t offset, std::size_t count);

private:
    SourceFile& source_;
    std::int64_t size_;
    std::int64_t bytesRead_ = 0;
    std::int64_t limit_ = 0;
    std::vector<std::byte> piece_;
    std::int64_t pieceOffset_ = 0;
};

struct Frame {
    std::int64_t pts = 0;
    bool accessPoint = false; // opens with a sequence or group header
};

// What one pack holds that a cut needs. Times are raw 33-bit clock values.
struct Pack {
    std::int64_t offset = 0;
    std::int64_t next = 0;  // where the next pack starts
    bool damaged = false;   // bytes that are no packet follow: the next pack is searched for
    bool truncated = false; // the file ends inside it
    mpeg::PackHeader header;
    bool navigation = false;
    std::optional<VobuTimes> vobu;
    std::vector<Frame> frames;            // pictures of the followed video stream
    std::vector<std::int64_t> timestamps; // of all audio and video packets
};

class PackParser {
public:
    // `navPacks` may be null: navigation packs are then recognised but not read.
    PackParser(SourceReader& reader, const NavPackReader* navPacks)
        : reader_(reader), navPacks_(navPacks) {}

    // The pack at `offset`, or nothing when no pack header is there. Looking for access
    // points reads the start of each picture's data.
    std::optional<Pack> parse(std::int64_t offset, bool findAccessPoints);

    // Whether a pack header is at `offset`, followed by a packet or the file's end.
    bool isPackAt(std::int64_t offset);

    // The first pack at or after `from`, looked for no further than `span` bytes.
    std::optional<std::int64_t> findPack(std::int64_t from, std::int64_t span);

private:
    void readPacket(Pack& pack, std::uint8_t id, std::int64_t at, std::int64_t length,
                    bool findAccessPoints);
    void readNavigation(Pack& pack, std::int64_t at, std::int64_t length);
    bool startsAccessPoint(std::int64_t from, std::int64_t end);

    SourceReader& reader_;
    const NavPackReader* navPacks_;
    int videoStream_ = -1; // the first video stream met is the one followed
};

// The packs from an offset on, in file order; damaged stretches are skipped.
class PackWalker {
public:
    PackWalker(PackParser& parser, SourceReader& reader, std::int64_t from, bool findAccessPoints)
        : parser_(parser), reader_(reader), at_(from), findAccessPoints_(findAccessPoints) {}

    // The next whole pack; nothing at the file's end or at a pack it cuts short.
    std::optional<Pack> next();

private:
    PackParser& parser_;
    SourceReader& reader_;
    std::int64_t at_;
    bool findAccessPoints_;
};

} // namespace parvane
