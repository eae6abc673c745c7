#include "core/stream/pack_reader.h"

#include "platform/file_access.h"

#include <algorithm>

namespace parvane {

namespace {

using mpeg::byteAt;

// A pack header with stuffing and the header of the packet after it, timestamps included.
constexpr std::size_t kHeadBytes = 64;
// Video payload is read in pieces this large until the picture's first start code.
constexpr std::size_t kScanPiece = 512;
constexpr std::int64_t kSearchWindow = 4096;

} // namespace

SourceReader::SourceReader(SourceFile& source) : source_(source), size_(source.size()) {}

std::span<const std::byte> SourceReader::read(std::int64_t offset, std::size_t count) {
    if (offset < 0 || offset >= size_)
        return {};
    count = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(count), size_ - offset));
    if (offset >= pieceOffset_ && offset + static_cast<std::int64_t>(count) <=
                                      pieceOffset_ + static_cast<std::int64_t>(piece_.size()))
        return std::span<const std::byte>(piece_).subspan(
            static_cast<std::size_t>(offset - pieceOffset_), count);
    if (bytesRead_ + static_cast<std::int64_t>(count) > limit_)
        throw ReadLimitReached{};
    piece_.resize(count);
    piece_.resize(source_.readAt(offset, piece_.data(), count));
    pieceOffset_ = offset;
    bytesRead_ += static_cast<std::int64_t>(piece_.size());
    return piece_;
}

std::optional<Pack> PackParser::parse(std::int64_t offset, bool findAccessPoints) {
    const auto header = mpeg::readPackHeader(reader_.read(offset, kHeadBytes));
    if (!header)
        return std::nullopt;
    Pack pack;
    pack.offset = offset;
    pack.header = *header;
    std::int64_t at = offset + static_cast<std::int64_t>(header->size);
    // The stuffing the header announces may run past the file's end: then so would
    // the pack, and a clip ending with it.
    if (at > reader_.size()) {
        pack.truncated = true;
        return pack;
    }
    while (at < reader_.size()) {
        const auto bytes = reader_.read(at, mpeg::kPacketPrefixSize);
        if (bytes.size() < 4) {
            pack.truncated = true;
            return pack;
        }
        const auto id = static_cast<std::uint8_t>(byteAt(bytes, 3));
        if (!mpeg::startsWithStartCode(bytes) || id < mpeg::kProgramEnd) {
            pack.damaged = true;
            break;
        }
        if (id == mpeg::kPackStart)
            break;
        if (id == mpeg::kProgramEnd) {
            at += 4;
            continue;
        }
        if (bytes.size() < mpeg::kPacketPrefixSize) {
            pack.truncated = true;
            return pack;
        }
        const auto length = static_cast<std::int64_t>(mpeg::packetSize(bytes, 0));
        if (at + length > reader_.size()) {
            pack.truncated = true;
            return pack;
        }
        readPacket(pack, id, at, length, findAccessPoints);
        at += length;
    }
    pack.next = at;
    return pack;
}
bool PackParser::isPackAt(std::int64_t offset) {
    const auto bytes = reader_.read(offset, kHeadBytes);
    const auto header = mpeg::readPackHeader(bytes);
    if (!header)
        return false;
    if (bytes.size() < header->size + 4)
        return offset + static_cast<std::int64_t>(bytes.size()) == reader_.size();
    const auto rest = bytes.subspan(header->size);
    return mpeg::startsWithStartCode(rest) && byteAt(rest, 3) >= mpeg::kProgramEnd;
}
std::optional<std::int64_t> PackParser::findPack(std::int64_t from, std::int64_t span) {
    const std::int64_t end = std::min(reader_.size(), from + span);
    std::vector<std::byte> window;
    for (std::int64_t at = std::max<std::int64_t>(from, 0); at < end; at += kSearchWindow - 3) {
        const auto bytes =
            reader_.read(at, static_cast<std::size_t>(std::min(kSearchWindow, end - at + 3)));
        window.assign(bytes.begin(), bytes.end());
        for (std::size_t i = 0; i + 4 <= window.size() && at + std::int64_t(i) < end; ++i) {
            if (window[i + 2] == std::byte{1} && window[i + 3] == std::byte{0xBA} &&
                window[i] == std::byte{0} && window[i + 1] == std::byte{0} &&
                isPackAt(at + static_cast<std::int64_t>(i)))
                return at + static_cast<std::int64_t>(i);
        }
        if (window.size() < static_cast<std::size_t>(kSearchWindow))
            break;
    }
    return std::nullopt;
}
void PackParser::readPacket(Pack& pack, std::uint8_t id, std::int64_t at, std::int64_t length,
                            bool findAccessPoints) {
    if (id == mpeg::kPrivateStream2) {
        readNavigation(pack, at, length);
        return;
    }
    const bool video = mpeg::isVideoStream(id);
    if (!video && !mpeg::isAudioStream(id) && id != mpeg::kPrivateStream1)
        return;
    constexpr std::size_t kFixedHeader = 9;
    const auto fixed = reader_.read(at, kFixedHeader);
    if (fixed.size() < kFixedHeader)
        return;
    // The header and the payload's first byte, a substream number in private stream 1.
    const std::size_t wanted = kFixedHeader + byteAt(fixed, 8) + 1;
    const auto bytes = reader_.read(at, static_cast<std::size_t>(std::min<std::int64_t>(
                                            length, static_cast<std::int64_t>(wanted))));
    const auto pes = mpeg::readPesHeader(bytes);
    if (!pes || !pes->pts)
        return;
    if (id == mpeg::kPrivateStream1 &&
        (bytes.size() <= pes->size ||
         mpeg::isSubpicture(static_cast<std::uint8_t>(byteAt(bytes, pes->size)))))
        return; // subpictures keep times of their own
    pack.timestamps.push_back(*pes->pts);
    if (!video)
        return;
    if (videoStream_ < 0)
        videoStream_ = id;
    if (id != videoStream_)
        return;
    Frame frame{*pes->pts, false};
    if (findAccessPoints)
        frame.accessPoint =
            startsAccessPoint(at + static_cast<std::int64_t>(pes->size), at + length);
    pack.frames.push_back(frame);
}
void PackParser::readNavigation(Pack& pack, std::int64_t at, std::int64_t length) {
    // The PCI packet: substream number 0, then the PCI.
    constexpr std::size_t kPacket = 1 + NavPackReader::kPciBytes;
    if (length != static_cast<std::int64_t>(mpeg::kPacketPrefixSize + kPacket))
        return;
    const auto data = reader_.read(at + std::int64_t(mpeg::kPacketPrefixSize), kPacket);
    if (data.size() != kPacket || data[0] != std::byte{0})
        return;
    pack.navigation = true;
    if (!navPacks_)
        return;
    NavPackReader::Pci pci;
    std::copy(data.begin() + 1, data.end(), pci.begin());
    pack.vobu = navPacks_->readPci(pci);
}
bool PackParser::startsAccessPoint(std::int64_t from, std::int64_t end) {
    mpeg::AccessPointScanner scanner;
    for (std::int64_t at = from; at < end;) {
        const auto bytes = reader_.read(
            at, static_cast<std::size_t>(std::min<std::int64_t>(kScanPiece, end - at)));
        if (bytes.empty())
            break;
        if (const auto found = scanner.feed(bytes))
            return *found;
        at += static_cast<std::int64_t>(bytes.size());
    }
    // The picture's first start code runs on into the next packet. That is rare, and
    // taking it for no access point only makes the clip a group longer.
    return false;
}
std::optional<Pack> PackWalker::next() {
    while (at_ < reader_.size()) {
        auto pack = parser_.parse(at_, findAccessPoints_);
        if (!pack) {
            const auto found = parser_.findPack(at_ + 1, kPackSearchLimit);
            if (!found)
                return std::nullopt;
            at_ = *found;
            continue;
        }
        if (pack->truncated)
            return std::nullopt;
        at_ = pack->next;
        if (pack->damaged)
            at_ = parser_.findPack(at_, kPackSearchLimit).value_or(reader_.size());
        return pack;
    }
    return std::nullopt;
}
} // namespace parvane
