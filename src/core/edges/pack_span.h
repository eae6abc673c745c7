#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace parvane {

class SourceFile;

namespace edges {

// One PES packet of a pack read around a clip's edge.
struct Packet {
    std::size_t pack = 0;      // which pack of the span holds it
    std::uint8_t streamId = 0; // the PES stream id
    int substream = -1;        // private stream 1's first payload byte; -1 elsewhere
    std::optional<std::int64_t> pts;
    std::optional<std::int64_t> dts;
    std::size_t start = 0;   // its start code, in the span's bytes
    std::size_t end = 0;     // one past its last byte
    std::size_t payload = 0; // its first byte after the PES header
};

struct Pack {
    std::int64_t offset = 0; // in the source
    std::int64_t scr = 0;
    bool navigation = false; // holds a PCI and a DSI
};

// The whole 2048-byte packs of a stretch of a DVD program stream, read once and taken
// apart into their packets. A stretch whose packs are not 2048-byte MPEG-2 packs ends at
// the first one that is not.
class PackSpan {
public:
    static constexpr std::size_t kPackBytes = 2048;

    // Reads [from, to) of `source`.
    PackSpan(SourceFile& source, std::int64_t from, std::int64_t to);
    // Packs already in memory, as if read from offset `from`.
    explicit PackSpan(std::vector<std::byte> bytes, std::int64_t from = 0);

    std::int64_t from() const { return from_; }
    // Where the last whole pack read ends.
    std::int64_t end() const {
        return from_ + static_cast<std::int64_t>(packs_.size()) * kPackBytes;
    }
    const std::vector<Pack>& packs() const { return packs_; }
    const std::vector<Packet>& packets() const { return packets_; }
    std::span<const std::byte> bytes(std::size_t begin, std::size_t end) const {
        return std::span<const std::byte>(bytes_).subspan(begin, end - begin);
    }
    std::span<const std::byte> packBytes(std::size_t pack) const {
        return std::span<const std::byte>(bytes_).subspan(pack * kPackBytes, kPackBytes);
    }
    std::span<const std::byte> payload(const Packet& packet) const {
        return bytes(packet.payload, packet.end);
    }
    std::int64_t bytesRead() const { return static_cast<std::int64_t>(bytes_.size()); }
    // The index of the pack at `offset` of the source; one past the last when none is
    // there, as where a copied stretch ends with the span.
    std::size_t packIndex(std::int64_t offset) const;
    // The last navigation pack at or before pack `pack`.
    std::optional<std::size_t> navigationBefore(std::size_t pack) const;

private:
    void takeApart();

    std::int64_t from_;
    std::vector<std::byte> bytes_;
    std::vector<Pack> packs_;
    std::vector<Packet> packets_;
};

} // namespace edges
} // namespace parvane
