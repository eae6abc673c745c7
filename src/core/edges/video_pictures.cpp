#include "core/edges/video_pictures.h"

#include "core/stream/program_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace parvane::edges {

namespace {

constexpr unsigned kPicture = 0x00;
constexpr unsigned kSequenceHeader = 0xB3;
constexpr unsigned kExtension = 0xB5;
constexpr unsigned kSequenceEnd = 0xB7;
constexpr unsigned kGroup = 0xB8;

unsigned at(const std::vector<std::byte>& bytes, std::size_t i) {
    return i < bytes.size() ? std::to_integer<unsigned>(bytes[i]) : 0;
}

} // namespace

VideoPictures::VideoPictures(const PackSpan& span, bool reachesEnd) {
    std::vector<PiecePlace> pieces;
    int videoId = -1;
    for (const Packet& packet : span.packets()) {
        if (!mpeg::isVideoStream(packet.streamId))
            continue;
        if (videoId < 0)
            videoId = packet.streamId;
        if (packet.streamId != videoId)
            continue;
        pieces.push_back({stream_.size(), packet.pack, packet.pts, packet.dts});
        const auto payload = span.payload(packet);
        stream_.insert(stream_.end(), payload.begin(), payload.end());
    }
    parse(pieces, reachesEnd);
    time(pieces);
}

void VideoPictures::parse(const std::vector<PiecePlace>& pieces, bool reachesEnd) {
    const auto packAt = [&](std::size_t position) {
        auto piece = std::upper_bound(
            pieces.begin(), pieces.end(), position,
            [](std::size_t p, const PiecePlace& place) { return p < place.esBegin; });
        return std::prev(piece)->pack;
    };
    // Where the headers before the next picture start; npos when none came yet.
    std::size_t headersAt = std::string::npos;
    bool groupOpen = false;
    bool sawSequenceExtension = false;
    const auto endPicture = [&](std::size_t position) {
        if (!pictures_.empty() && pictures_.back().esEnd == 0)
            pictures_.back().esEnd = position;
    };
    const auto* data = reinterpret_cast<const unsigned char*>(stream_.data());
    const std::size_t size = stream_.size();
    for (std::size_t one = 2; one + 1 < size; ++one) {
        // A start code ends in a 01 after two zeros; memchr finds the 01s fastest.
        const void* found = std::memchr(data + one, 1, size - 1 - one);
        if (!found)
            break;
        one = static_cast<std::size_t>(static_cast<const unsigned char*>(found) - data);
        if (data[one - 1] != 0 || data[one - 2] != 0)
            continue;
        const std::size_t i = one - 2;
        const unsigned code = at(stream_, i + 3);
        const std::size_t b = i + 4; // the header's first byte after its start code
        if (code == kSequenceHeader || code == kGroup) {
            if (headersAt == std::string::npos) {
                headersAt = i;
                endPicture(i);
            }
            if (code == kSequenceHeader) {
                form_.frameRateCode = static_cast<int>(at(stream_, b + 3) & 0x0F);
            } else {
                Group group;
                group.firstPicture = pictures_.size();
                group.closed = (at(stream_, b + 3) & 0x40) != 0;
                group.brokenLink = (at(stream_, b + 3) & 0x20) != 0;
                groups_.push_back(group);
                groupOpen = true;
            }
        } else if (code == kPicture) {
            const std::size_t begin = headersAt == std::string::npos ? i : headersAt;
            headersAt = std::string::npos;
            endPicture(begin);
            if (!groupOpen)
                continue; // before the first group header: no way to time it
            Picture picture;
            picture.esBegin = begin;
            picture.codeAt = i;
            picture.pack = packAt(begin);
            picture.temporalReference =
                static_cast<int>(at(stream_, b) << 2 | at(stream_, b + 1) >> 6);
            const unsigned type = at(stream_, b + 1) >> 3 & 0x07;
            picture.type = type == 1 ? 'I' : type == 2 ? 'P' : type == 3 ? 'B' : '?';
            pictures_.push_back(picture);
            ++groups_.back().pictureCount;
        } else if (code == kExtension) {
            const unsigned id = at(stream_, b) >> 4;
            if (id == 1) {
                form_.progressive = (at(stream_, b + 1) & 0x08) != 0;
                sawSequenceExtension = true;
            } else if (id == 8 && !pictures_.empty() && pictures_.back().esEnd == 0) {
                const bool frame = (at(stream_, b + 2) & 0x03) == 3;
                const bool topFirst = (at(stream_, b + 3) & 0x80) != 0;
                const bool repeat = (at(stream_, b + 3) & 0x02) != 0;
                int fields = frame ? 2 : 1;
                if (frame && repeat)
                    fields = form_.progressive ? (topFirst ? 6 : 4) : 3;
                pictures_.back().fields = fields;
            }
        } else if (code == kSequenceEnd) {
            endPicture(i);
        }
    }
    (void)sawSequenceExtension;
    if (!pictures_.empty() && pictures_.back().esEnd == 0)
        pictures_.back().esEnd = reachesEnd ? stream_.size() : 0;
    fieldTicks_ = form_.frameRateCode == 3 ? 1800.0 : 90000.0 * 1001 / 30000 / 2;
}

void VideoPictures::time(const std::vector<PiecePlace>& pieces) {
    // A PES timestamp belongs to the first picture whose picture start code begins in its
    // packet; the sequence and group headers before it may lie in the packet before.
    std::vector<std::optional<std::int64_t>> stamp(pictures_.size());
    std::size_t next = 0;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const std::size_t end = k + 1 < pieces.size() ? pieces[k + 1].esBegin : stream_.size();
        while (next < pictures_.size() && pictures_[next].codeAt < pieces[k].esBegin)
            ++next;
        if (pieces[k].pts && next < pictures_.size() && pictures_[next].codeAt < end)
            stamp[next] = pieces[k].pts;
    }
    std::vector<Group> timed;
    std::vector<Picture> kept;
    for (const Group& group : groups_) {
        if (group.pictureCount == 0)
            continue;
        // Fields shown before each picture of the group, in display order.
        std::vector<std::size_t> order(group.pictureCount);
        for (std::size_t k = 0; k < order.size(); ++k)
            order[k] = group.firstPicture + k;
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return pictures_[a].temporalReference < pictures_[b].temporalReference;
        });
        // Damage that ran two groups together, or lost a picture, shows in their numbers.
        bool numbered = true;
        for (std::size_t k = 0; k < order.size(); ++k)
            numbered = numbered && pictures_[order[k]].temporalReference == static_cast<int>(k);
        if (!numbered)
            continue;
        std::vector<int> fieldsBefore(pictures_.size());
        int fields = 0;
        for (const std::size_t p : order) {
            fieldsBefore[p] = fields;
            fields += pictures_[p].fields;
        }
        std::optional<double> base;
        for (const std::size_t p : order)
            if (stamp[p]) {
                base = static_cast<double>(*stamp[p]) - fieldsBefore[p] * fieldTicks_;
                break;
            }
        if (!base)
            continue; // a group without a timestamp cannot be placed
        Group placed = group;
        placed.firstPicture = kept.size();
        for (std::size_t k = 0; k < group.pictureCount; ++k) {
            const std::size_t p = group.firstPicture + k;
            Picture picture = pictures_[p];
            picture.pts = std::llround(*base + fieldsBefore[p] * fieldTicks_);
            picture.duration = std::llround(picture.fields * fieldTicks_);
            kept.push_back(picture);
        }
        placed.firstShown = std::llround(*base);
        placed.lastShown = std::llround(*base + fieldsBefore[order.back()] * fieldTicks_);
        placed.whole = kept.back().esEnd != 0;
        timed.push_back(placed);
    }
    pictures_ = std::move(kept);
    groups_ = std::move(timed);
    for (Group& group : groups_) {
        const Picture& first = pictures_[group.firstPicture];
        // A copy can start at the group when its headers open a pack's video, and then at
        // the navigation pack right before, if there is one.
        const bool opensPack =
            std::none_of(pieces.begin(), pieces.end(),
                         [&](const PiecePlace& p) {
                             return p.pack == first.pack && p.esBegin < first.esBegin;
                         }) &&
            std::any_of(pieces.begin(), pieces.end(),
                        [&](const PiecePlace& p) { return p.esBegin == first.esBegin; });
        if (opensPack)
            group.startPack = first.pack;
    }
}

std::optional<std::size_t> VideoPictures::shownAt(std::int64_t time) const {
    std::optional<std::size_t> found;
    for (std::size_t p = 0; p < pictures_.size(); ++p)
        if (pictures_[p].pts <= time && (!found || pictures_[p].pts > pictures_[*found].pts))
            found = p;
    return found;
}

std::size_t VideoPictures::groupOf(std::size_t picture) const {
    std::size_t group = 0;
    while (group + 1 < groups_.size() && groups_[group + 1].firstPicture <= picture)
        ++group;
    return group;
}

bool VideoPictures::standsAlone(std::size_t group) const {
    const Group& g = groups_[group];
    const Picture& first = pictures_[g.firstPicture];
    return first.type == 'I' && (g.closed || first.pts == g.firstShown);
}

} // namespace parvane::edges
