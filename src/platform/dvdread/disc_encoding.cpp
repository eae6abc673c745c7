#include "disc_encoding.h"

#include <cstdint>
#include <cstring>

namespace parvane {

namespace {

class Writer {
public:
    void number(std::uint64_t value) {
        for (int i = 0; i < 8; ++i)
            bytes_.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
    }
    void integer(std::int64_t value) { number(static_cast<std::uint64_t>(value)); }
    void real(double value) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        number(bits);
    }
    void text(const std::string& value) {
        number(value.size());
        bytes_ += value;
    }
    std::string bytes() && { return std::move(bytes_); }

private:
    std::string bytes_;
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool number(std::uint64_t& value) {
        if (bytes_.size() - at_ < 8)
            return false;
        value = 0;
        for (int i = 0; i < 8; ++i)
            value |= std::uint64_t{static_cast<unsigned char>(bytes_[at_++])} << (8 * i);
        return true;
    }
    bool integer(std::int64_t& value) {
        std::uint64_t bits = 0;
        if (!number(bits))
            return false;
        value = static_cast<std::int64_t>(bits);
        return true;
    }
    bool real(double& value) {
        std::uint64_t bits = 0;
        if (!number(bits))
            return false;
        std::memcpy(&value, &bits, sizeof value);
        return true;
    }
    bool text(std::string& value) {
        std::uint64_t size = 0;
        if (!number(size) || size > bytes_.size() - at_)
            return false;
        value.assign(bytes_.substr(at_, size));
        at_ += size;
        return true;
    }
    // A count of items of at least `itemBytes` each, that the bytes left can hold.
    bool count(std::size_t& value, std::size_t itemBytes) {
        std::uint64_t n = 0;
        if (!number(n) || n > (bytes_.size() - at_) / itemBytes)
            return false;
        value = static_cast<std::size_t>(n);
        return true;
    }
    bool done() const { return at_ == bytes_.size(); }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

} // namespace

std::string encodeDisc(const Disc& disc) {
    Writer out;
    out.number(disc.startTitle);
    out.real(disc.startSeconds);
    out.number(disc.titles.size());
    for (const Title& title : disc.titles) {
        out.integer(title.number);
        out.number(title.extents.size());
        for (const Extent& extent : title.extents) {
            out.text(extent.path);
            out.integer(extent.offset);
            out.integer(extent.length);
        }
        out.number(title.cells.size());
        for (const Cell& cell : title.cells) {
            out.integer(cell.begin);
            out.integer(cell.end);
            out.real(cell.start);
            out.real(cell.duration);
            out.number(cell.clockRestarts ? 1 : 0);
        }
        out.number(title.chapters.size());
        for (const double chapter : title.chapters)
            out.real(chapter);
        out.number(title.discFiles.size());
        for (const std::string& file : title.discFiles)
            out.text(file);
    }
    return std::move(out).bytes();
}

std::optional<Disc> decodeDisc(std::string_view bytes) {
    Reader in(bytes);
    Disc disc;
    std::uint64_t startTitle = 0;
    std::size_t titles = 0;
    if (!in.number(startTitle) || !in.real(disc.startSeconds) || !in.count(titles, 40))
        return std::nullopt;
    disc.startTitle = static_cast<std::size_t>(startTitle);
    disc.titles.resize(titles);
    for (Title& title : disc.titles) {
        std::int64_t number = 0;
        std::size_t extents = 0, cells = 0, chapters = 0;
        if (!in.integer(number) || !in.count(extents, 24))
            return std::nullopt;
        title.number = static_cast<int>(number);
        title.extents.resize(extents);
        for (Extent& extent : title.extents)
            if (!in.text(extent.path) || !in.integer(extent.offset) || !in.integer(extent.length))
                return std::nullopt;
        if (!in.count(cells, 40))
            return std::nullopt;
        title.cells.resize(cells);
        for (Cell& cell : title.cells) {
            std::uint64_t restarts = 0;
            if (!in.integer(cell.begin) || !in.integer(cell.end) || !in.real(cell.start) ||
                !in.real(cell.duration) || !in.number(restarts) || restarts > 1)
                return std::nullopt;
            cell.clockRestarts = restarts == 1;
        }
        if (!in.count(chapters, 8))
            return std::nullopt;
        title.chapters.resize(chapters);
        for (double& chapter : title.chapters)
            if (!in.real(chapter))
                return std::nullopt;
        std::size_t files = 0;
        if (!in.count(files, 8))
            return std::nullopt;
        title.discFiles.resize(files);
        for (std::string& file : title.discFiles)
            if (!in.text(file))
                return std::nullopt;
    }
    if (!in.done() || (!disc.titles.empty() && disc.startTitle >= disc.titles.size()))
        return std::nullopt;
    return disc;
}

} // namespace parvane
