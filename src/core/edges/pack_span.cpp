#include "core/edges/pack_span.h"

#include "core/stream/program_stream.h"

#include "platform/file_access.h"

namespace parvane::edges {

namespace {

constexpr auto kPackSize = static_cast<std::size_t>(mpeg::kDvdPackSize);
using mpeg::byteAt;

} // namespace

PackSpan::PackSpan(SourceFile& source, std::int64_t from, std::int64_t to) : from_(from) {
    const std::int64_t wanted = std::max<std::int64_t>(0, std::min(to, source.size()) - from);
    bytes_.resize(static_cast<std::size_t>(wanted));
    std::size_t got = 0;
    while (got < bytes_.size()) {
        const std::size_t piece = source.readAt(from + static_cast<std::int64_t>(got),
                                                bytes_.data() + got, bytes_.size() - got);
        if (piece == 0)
            break;
        got += piece;
    }
    bytes_.resize(got / kPackSize * kPackSize);
    takeApart();
}

PackSpan::PackSpan(std::vector<std::byte> bytes, std::int64_t from)
    : from_(from), bytes_(std::move(bytes)) {
    bytes_.resize(bytes_.size() / kPackSize * kPackSize);
    takeApart();
}

void PackSpan::takeApart() {
    const std::span<const std::byte> all(bytes_);
    for (std::size_t index = 0; index * kPackSize < all.size(); ++index) {
        const auto bytes = all.subspan(index * kPackSize, kPackSize);
        const auto header = mpeg::readPackHeader(bytes);
        if (!header)
            break;
        Pack pack{from_ + static_cast<std::int64_t>(index * kPackSize), header->scr, false};
        std::size_t offset = header->size;
        bool whole = true;
        while (offset + mpeg::kPacketPrefixSize <= kPackSize) {
            const auto rest = bytes.subspan(offset);
            if (!mpeg::startsWithStartCode(rest) || byteAt(rest, 3) < mpeg::kProgramEnd) {
                whole = false;
                break;
            }
            const auto id = static_cast<std::uint8_t>(byteAt(rest, 3));
            if (id == mpeg::kProgramEnd) {
                offset += 4;
                continue;
            }
            const std::size_t length = mpeg::packetSize(rest, 0);
            if (offset + length > kPackSize) {
                whole = false;
                break;
            }
            Packet packet;
            packet.pack = index;
            packet.streamId = id;
            packet.start = index * kPackSize + offset;
            packet.end = packet.start + length;
            packet.payload = packet.start + mpeg::kPacketPrefixSize;
            if (id == mpeg::kPrivateStream2) {
                if (length > mpeg::kPacketPrefixSize && byteAt(rest, mpeg::kPacketPrefixSize) == 0)
                    pack.navigation = true;
            } else if (mpeg::isVideoStream(id) || mpeg::isAudioStream(id) ||
                       id == mpeg::kPrivateStream1) {
                const auto pes = mpeg::readPesHeader(rest.subspan(0, length));
                if (!pes) {
                    whole = false;
                    break;
                }
                packet.pts = pes->pts;
                packet.dts = pes->dts;
                packet.payload = packet.start + pes->size;
                if (id == mpeg::kPrivateStream1) {
                    if (pes->size >= length)
                        packet.substream = -1;
                    else
                        packet.substream = static_cast<int>(byteAt(rest, pes->size));
                }
            }
            if (id != mpeg::kSystemHeader && id != 0xBE)
                packets_.push_back(packet);
            offset += length;
        }
        if (!whole) {
            // A damaged pack ends what can be trusted: the edges stop short of it.
            while (!packets_.empty() && packets_.back().pack == index)
                packets_.pop_back();
            break;
        }
        packs_.push_back(pack);
    }
    bytes_.resize(packs_.size() * kPackSize);
}

std::size_t PackSpan::packIndex(std::int64_t offset) const {
    const std::int64_t inside = offset - from_;
    if (inside < 0 || inside % mpeg::kDvdPackSize != 0)
        return packs_.size();
    return std::min(packs_.size(), static_cast<std::size_t>(inside / mpeg::kDvdPackSize));
}

std::optional<std::size_t> PackSpan::navigationBefore(std::size_t pack) const {
    for (std::size_t k = std::min(pack + 1, packs_.size()); k-- > 0;)
        if (packs_[k].navigation)
            return k;
    return std::nullopt;
}

} // namespace parvane::edges
