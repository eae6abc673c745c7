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

void writeBytes(Writer& out, const std::vector<Extent>& extents, const std::vector<Cell>& cells) {
    out.number(extents.size());
    for (const Extent& extent : extents) {
        out.text(extent.path);
        out.integer(extent.offset);
        out.integer(extent.length);
    }
    out.number(cells.size());
    for (const Cell& cell : cells) {
        out.integer(cell.begin);
        out.integer(cell.end);
        out.real(cell.start);
        out.real(cell.duration);
        out.number(cell.clockRestarts ? 1 : 0);
    }
}

bool readBytes(Reader& in, std::vector<Extent>& extents, std::vector<Cell>& cells) {
    std::size_t count = 0;
    if (!in.count(count, 24))
        return false;
    extents.resize(count);
    for (Extent& extent : extents)
        if (!in.text(extent.path) || !in.integer(extent.offset) || !in.integer(extent.length))
            return false;
    if (!in.count(count, 40))
        return false;
    cells.resize(count);
    for (Cell& cell : cells) {
        std::uint64_t restarts = 0;
        if (!in.integer(cell.begin) || !in.integer(cell.end) || !in.real(cell.start) ||
            !in.real(cell.duration) || !in.number(restarts) || restarts > 1)
            return false;
        cell.clockRestarts = restarts == 1;
    }
    return true;
}

bool readInt(Reader& in, int& value) {
    std::int64_t wide = 0;
    if (!in.integer(wide) || wide < -(std::int64_t{1} << 31) || wide >= std::int64_t{1} << 31)
        return false;
    value = static_cast<int>(wide);
    return true;
}

bool readTexts(Reader& in, std::vector<std::string>& texts) {
    std::size_t count = 0;
    if (!in.count(count, 8))
        return false;
    texts.resize(count);
    for (std::string& text : texts)
        if (!in.text(text))
            return false;
    return true;
}

} // namespace

std::string encodeDisc(const Disc& disc) {
    Writer out;
    out.number(disc.startTitle);
    out.real(disc.startSeconds);
    out.number(disc.titles.size());
    for (const Title& title : disc.titles) {
        out.integer(title.number);
        out.integer(title.angle);
        out.integer(title.angles);
        writeBytes(out, title.extents, title.cells);
        out.number(title.angleViews.size());
        for (const AngleView& view : title.angleViews)
            writeBytes(out, view.extents, view.cells);
        out.number(title.chapters.size());
        for (const double chapter : title.chapters)
            out.real(chapter);
        out.number(title.audio.size());
        for (const AudioStream& stream : title.audio) {
            out.integer(stream.id);
            out.text(stream.format);
            out.integer(stream.channels);
            out.text(stream.language);
        }
        out.number(title.subpictures.size());
        for (const SubpictureStream& stream : title.subpictures) {
            out.integer(stream.id);
            out.text(stream.language);
        }
        out.number(title.palette.size());
        for (const std::uint32_t colour : title.palette)
            out.number(colour);
        out.number(title.problems.size());
        for (const std::string& problem : title.problems)
            out.text(problem);
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
        std::size_t count = 0;
        if (!readInt(in, title.number) || !readInt(in, title.angle) || !readInt(in, title.angles) ||
            !readBytes(in, title.extents, title.cells) || !in.count(count, 16))
            return std::nullopt;
        title.angleViews.resize(count);
        for (AngleView& view : title.angleViews)
            if (!readBytes(in, view.extents, view.cells))
                return std::nullopt;
        if (!in.count(count, 8))
            return std::nullopt;
        title.chapters.resize(count);
        for (double& chapter : title.chapters)
            if (!in.real(chapter))
                return std::nullopt;
        if (!in.count(count, 32))
            return std::nullopt;
        title.audio.resize(count);
        for (AudioStream& stream : title.audio)
            if (!readInt(in, stream.id) || !in.text(stream.format) ||
                !readInt(in, stream.channels) || !in.text(stream.language))
                return std::nullopt;
        if (!in.count(count, 16))
            return std::nullopt;
        title.subpictures.resize(count);
        for (SubpictureStream& stream : title.subpictures)
            if (!readInt(in, stream.id) || !in.text(stream.language))
                return std::nullopt;
        if (!in.count(count, 8))
            return std::nullopt;
        title.palette.resize(count);
        for (std::uint32_t& colour : title.palette) {
            std::uint64_t value = 0;
            if (!in.number(value) || value > 0xFFFFFFFFu)
                return std::nullopt;
            colour = static_cast<std::uint32_t>(value);
        }
        if (!readTexts(in, title.problems) || !readTexts(in, title.discFiles))
            return std::nullopt;
    }
    if (!in.done() || (!disc.titles.empty() && disc.startTitle >= disc.titles.size()))
        return std::nullopt;
    return disc;
}

} // namespace parvane
