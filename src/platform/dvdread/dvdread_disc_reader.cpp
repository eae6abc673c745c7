#include "dvdread_disc_reader.h"

#include "disc_encoding.h"
#include "first_play.h"
#include "ifo_safety.h"
#include "title_streams.h"
#include "unit_walk.h"

#include "core/base/time_text.h"
#include "platform/file_access.h"
#include "platform/posix/call_in_child.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/dvd_udf.h>
#include <dvdread/ifo_read.h>
#include <dvdread/nav_read.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace parvane {

namespace {

constexpr std::int64_t kBlock = DVD_VIDEO_LB_LEN;
// Enough packs to meet the first video and audio of a title, few enough to open at once.
constexpr std::int64_t kScrambleCheckPacks = 32;
// A VOB file that does not begin at a navigation pack reaches one within this many packs.
constexpr std::int64_t kNavPackSearch = 256;
// Reading a disc's tables takes milliseconds from a disk, seconds from a drive that spins
// up; a reader that takes longer than this has hung.
constexpr std::chrono::milliseconds kReadLimit{60'000};

const char* const kDamaged = "the disc's title information is damaged";
const char* const kUnreadable = "the disc's title information cannot be read";
const char* const kEncrypted = "the disc is encrypted";
const char* const kNoVideo = "the disc's video files cannot be read";

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Discs name their files in upper case, copies made on other systems often in lower case.
std::optional<std::string> findEntry(const std::string& folder, const std::string& name) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return std::nullopt;
    while (const dirent* entry = ::readdir(dir.get()))
        if (upper(entry->d_name) == name)
            return folder + "/" + entry->d_name;
    return std::nullopt;
}

std::string titleSetName(int titleSet, int part, const char* suffix) {
    char name[32];
    std::snprintf(name, sizeof name, "VTS_%02d_%d.%s", titleSet, part, suffix);
    return name;
}

// Reads exactly `count` bytes at `offset` of a file, or fewer at its end.
std::size_t readFile(const std::string& path, std::int64_t offset, std::byte* buffer,
                     std::size_t count) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw FileError(kNoVideo);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd, buffer + done, count - done,
                                    static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            const bool failed = got < 0;
            ::close(fd);
            if (failed)
                throw FileError(kNoVideo);
            return done;
        }
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return done;
}

// An ISO 9660 or UDF volume: its volume descriptors start at the 16th 2048-byte sector.
bool looksLikeImage(const std::string& path) {
    std::array<std::byte, 3 * kBlock> head{};
    std::size_t got = 0;
    try {
        got = readFile(path, 16 * kBlock, head.data(), head.size());
    } catch (const FileError&) {
        return false;
    }
    for (std::size_t at = 0; at + 6 <= got; at += kBlock) {
        const std::string id(reinterpret_cast<const char*>(head.data()) + at + 1, 5);
        if (id == "CD001" || id == "BEA01" || id == "NSR02" || id == "NSR03")
            return true;
    }
    return false;
}

// What the opened path is on its disc.
struct Location {
    std::string root; // the folder that holds VIDEO_TS.IFO, or the image
    bool image = false;
    int titleSet = 0; // the title set of an opened VTS file; 0 for none
    int vobPart = 0;  // the part of an opened VTS_nn_m.VOB; 0 for none
};

// Reads a two-digit title set number and the part from a VTS_nn_m.EXT name.
bool parseTitleSetName(const std::string& name, int& titleSet, int& part, std::string& suffix) {
    if (name.size() != 12 || name.compare(0, 4, "VTS_") != 0 || name[6] != '_' || name[8] != '.')
        return false;
    if (!std::isdigit(static_cast<unsigned char>(name[4])) ||
        !std::isdigit(static_cast<unsigned char>(name[5])) ||
        !std::isdigit(static_cast<unsigned char>(name[7])))
        return false;
    titleSet = (name[4] - '0') * 10 + (name[5] - '0');
    part = name[7] - '0';
    suffix = name.substr(9);
    return titleSet >= 1;
}

std::optional<Location> locate(const std::string& given) {
    const std::string path = trimmed(given);
    if (isDirectory(path)) {
        if (const auto videoTs = findEntry(path, "VIDEO_TS"); videoTs && isDirectory(*videoTs))
            if (findEntry(*videoTs, "VIDEO_TS.IFO"))
                return Location{*videoTs};
        if (findEntry(path, "VIDEO_TS.IFO"))
            return Location{path};
        return std::nullopt;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    const std::string name = upper(nameOf(path));
    const std::string folder = folderOf(path);
    if (name == "VIDEO_TS.IFO" || name == "VIDEO_TS.BUP")
        return Location{folder};
    int titleSet = 0;
    int part = 0;
    std::string suffix;
    if (parseTitleSetName(name, titleSet, part, suffix)) {
        // Without the disc's title table a VOB is a plain file, played as it is.
        if (!findEntry(folder, "VIDEO_TS.IFO"))
            return std::nullopt;
        if (part == 0 && (suffix == "IFO" || suffix == "BUP"))
            return Location{folder, false, titleSet, 0};
        if (part >= 1 && suffix == "VOB")
            return Location{folder, false, titleSet, part};
        return std::nullopt;
    }
    if (looksLikeImage(path))
        return Location{path, true};
    return std::nullopt;
}

void quietLog(void*, dvd_logger_level_t, const char*, va_list) {}

struct DvdCloser {
    void operator()(dvd_reader_t* dvd) const { DVDClose(dvd); }
};
struct IfoCloser {
    void operator()(ifo_handle_t* ifo) const { ifoClose(ifo); }
};
struct FileCloser {
    void operator()(dvd_file_t* file) const { DVDCloseFile(file); }
};
using Ifo = std::unique_ptr<ifo_handle_t, IfoCloser>;

int bcd(std::uint8_t value) {
    return (value >> 4) * 10 + (value & 0x0F);
}

// Playback times are BCD with the frame rate in the frame byte's two high bits.
double seconds(const dvd_time_t& time) {
    const int rateBits = time.frame_u >> 6;
    const double rate = rateBits == 1 ? 25.0 : rateBits == 3 ? 30000.0 / 1001.0 : 0.0;
    double total = bcd(time.hour) * 3600.0 + bcd(time.minute) * 60.0 + bcd(time.second);
    if (rate > 0)
        total += bcd(time.frame_u & 0x3F) / rate;
    return total;
}

// One VTS_nn_m.VOB: where its blocks lie.
struct VobPart {
    std::string path;        // the VOB, or the image
    std::int64_t offset = 0; // where its first block is in that file
    std::int64_t blocks = 0;
    std::int64_t firstBlock = 0; // its first block among the title set's blocks
};

struct TitleSet {
    Ifo ifo;
    std::vector<VobPart> parts;
    std::int64_t blocks = 0;
};

// A title as read, with the sectors its cells came from.
struct ReadTitle {
    Title title;
    int titleSet = 0;
    std::vector<std::pair<std::int64_t, std::int64_t>> cellBlocks; // first, last
    // Angles 2 and on, while the title's cells are taken.
    std::vector<AngleView> otherAngles;
};

// Whether the title set's files hold every one of blocks first..last.
bool holds(const TitleSet& set, std::int64_t first, std::int64_t last) {
    if (first > last)
        return false;
    for (const VobPart& part : set.parts)
        if (part.firstBlock <= first && first < part.firstBlock + part.blocks)
            first = part.firstBlock + part.blocks;
    return first > last;
}

void appendExtent(std::vector<Extent>& extents, Extent extent) {
    if (!extents.empty() && extents.back().path == extent.path &&
        extents.back().offset + extents.back().length == extent.offset) {
        extents.back().length += extent.length;
        return;
    }
    extents.push_back(std::move(extent));
}

// Maps blocks first..last of a title set onto its files.
void appendBlocks(std::vector<Extent>& extents, const TitleSet& set, std::int64_t first,
                  std::int64_t last) {
    for (const VobPart& part : set.parts) {
        const std::int64_t from = std::max(first, part.firstBlock);
        const std::int64_t to = std::min(last, part.firstBlock + part.blocks - 1);
        if (from <= to)
            appendExtent(extents, {part.path, part.offset + (from - part.firstBlock) * kBlock,
                                   (to - from + 1) * kBlock});
    }
}

// Reads block `number` of a title set from the file it lies in.
bool readBlock(const TitleSet& set, std::int64_t number, Block& block) {
    for (const VobPart& part : set.parts)
        if (number >= part.firstBlock && number < part.firstBlock + part.blocks)
            return readFile(part.path, part.offset + (number - part.firstBlock) * kBlock,
                            block.data(), block.size()) == block.size();
    return false;
}

// Appends the blocks that `cell` plays as angle `angle` to `view`, and the cell after its
// last. False, and nothing appended, when its units cannot all be found.
bool takeCell(const cell_playback_t& cell, int angle, const TitleSet& set, AngleView& view) {
    const CellLayout layout{cell.first_sector,
                            cell.last_sector,
                            cell.interleaved != 0,
                            cell.block_type == BLOCK_TYPE_ANGLE_BLOCK,
                            angle,
                            cell.seamless_angle != 0};
    const CellUnits units = walkCell(layout, [&set](std::int64_t number, Block& block) {
        return readBlock(set, number, block);
    });
    if (!units.complete)
        return false;
    Cell taken;
    taken.begin = view.cells.empty() ? 0 : view.cells.back().end;
    taken.end = taken.begin;
    for (const BlockRun& run : units.runs) {
        appendBlocks(view.extents, set, run.first, run.last);
        taken.end += (run.last - run.first + 1) * kBlock;
    }
    taken.start = view.cells.empty() ? 0 : view.cells.back().start + view.cells.back().duration;
    taken.duration = seconds(cell.playback_time);
    taken.clockRestarts = cell.stc_discontinuity != 0 && !view.cells.empty();
    view.cells.push_back(taken);
    return true;
}

bool sameBytes(const std::vector<Extent>& a, const std::vector<Extent>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Extent& x, const Extent& y) {
        return x.path == y.path && x.offset == y.offset && x.length == y.length;
    });
}

// A title counts as many angles as play different bytes: discs give every title of a set
// the set's count, though most play the same bytes whichever angle is chosen.
void keepDistinctAngles(ReadTitle& read) {
    Title& title = read.title;
    const bool distinct = std::any_of(
        read.otherAngles.begin(), read.otherAngles.end(), [&title](const AngleView& view) {
            return !view.cells.empty() && !sameBytes(view.extents, title.extents);
        });
    if (!distinct) {
        title.angles = 1;
        return;
    }
    title.angleViews.push_back({title.extents, title.cells});
    for (AngleView& view : read.otherAngles)
        title.angleViews.push_back(std::move(view));
}

// Reads title bytes at `offset` through its extents; fewer at its end.
std::size_t readTitle(const Title& title, std::int64_t offset, std::byte* buffer,
                      std::size_t count) {
    std::size_t done = 0;
    std::int64_t at = 0;
    for (const Extent& extent : title.extents) {
        if (done == count)
            break;
        const std::int64_t want = offset + static_cast<std::int64_t>(done);
        if (want < at + extent.length) {
            const std::int64_t inside = want - at;
            const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(
                extent.length - inside, static_cast<std::int64_t>(count - done)));
            const std::size_t got =
                readFile(extent.path, extent.offset + inside, buffer + done, piece);
            done += got;
            if (got < piece)
                break;
        }
        at += extent.length;
    }
    return done;
}

// Whether a pack's first audio or video packet says it is scrambled (CSS).
bool scrambled(const std::byte* pack) {
    const auto b = [pack](std::int64_t i) { return static_cast<unsigned>(pack[i]); };
    if (b(0) != 0 || b(1) != 0 || b(2) != 1 || b(3) != 0xBA || (b(4) & 0xC0) != 0x40)
        return false;
    std::int64_t at = 14 + (b(13) & 7);
    while (at + 9 <= kBlock && b(at) == 0 && b(at + 1) == 0 && b(at + 2) == 1) {
        const unsigned id = b(at + 3);
        const std::int64_t length = (b(at + 4) << 8) | b(at + 5);
        const bool media = id == 0xBD || (id >= 0xC0 && id <= 0xEF);
        if (media)
            return (b(at + 6) & 0xC0) == 0x80 && (b(at + 6) & 0x30) != 0;
        at += 6 + length;
    }
    return false;
}

void checkNotScrambled(const Title& title) {
    const std::int64_t packs = std::min(kScrambleCheckPacks, title.size() / kBlock);
    std::vector<std::byte> data(static_cast<std::size_t>(packs * kBlock));
    const std::size_t got = readTitle(title, 0, data.data(), data.size());
    if (got < data.size())
        throw FileError(kNoVideo);
    for (std::int64_t pack = 0; pack < packs; ++pack)
        if (scrambled(data.data() + pack * kBlock))
            throw FileError(kEncrypted);
}

class DiscLoader {
public:
    explicit DiscLoader(const Location& location) : location_(location) {
        const dvd_logger_cb logger{quietLog};
        dvd_.reset(DVDOpen2(nullptr, &logger, location.root.c_str()));
        if (!dvd_)
            throw FileError(kUnreadable);
        checkTables(0);
        vmg_.reset(ifoOpen(dvd_.get(), 0));
        if (!vmg_ || !vmg_->tt_srpt || !vmg_->vmgi_mat)
            throw FileError(kUnreadable);
    }

    Disc load() {
        std::vector<ReadTitle> found;
        const tt_srpt_t& table = *vmg_->tt_srpt;
        if (!table.title && table.nr_of_srpts > 0)
            throw FileError(kDamaged);
        for (int i = 0; i < table.nr_of_srpts; ++i)
            if (auto title = readTitle(i + 1, table.title[i]))
                found.push_back(std::move(*title));
        if (found.empty())
            throw FileError("the disc holds no titles to play");
        Disc disc;
        for (ReadTitle& title : found) {
            checkNotScrambled(title.title);
            disc.titles.push_back(title.title);
        }
        checkReadsAsStored();
        chooseStart(disc, found);
        const std::vector<std::string> files = discFiles();
        for (Title& title : disc.titles)
            title.discFiles = files;
        return disc;
    }

private:
    // The image, or the folder's IFO, BUP and VOB files.
    std::vector<std::string> discFiles() const {
        if (location_.image)
            return {location_.root};
        std::vector<std::string> files;
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(location_.root.c_str()), ::closedir);
        if (!dir)
            return files;
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string name = upper(entry->d_name);
            int set = 0, part = 0;
            std::string suffix;
            const bool ofTheDisc = name == "VIDEO_TS.IFO" || name == "VIDEO_TS.BUP" ||
                                   name == "VIDEO_TS.VOB" ||
                                   (parseTitleSetName(name, set, part, suffix) &&
                                    (suffix == "IFO" || suffix == "BUP" || suffix == "VOB"));
            if (ofTheDisc)
                files.push_back(location_.root + "/" + entry->d_name);
        }
        return files;
    }

    TitleSet& titleSet(int number) {
        if (number < 1 || number > vmg_->vmgi_mat->vmg_nr_of_title_sets)
            throw FileError(kDamaged);
        auto known = sets_.find(number);
        if (known != sets_.end())
            return known->second;
        TitleSet set;
        checkTables(number);
        set.ifo.reset(ifoOpen(dvd_.get(), number));
        if (!set.ifo || !set.ifo->vts_ptt_srpt || !set.ifo->vts_pgcit)
            throw FileError(kUnreadable);
        findParts(number, set);
        return sets_.emplace(number, std::move(set)).first->second;
    }

    // Where a file of the image's VIDEO_TS folder lies in the image.
    struct ImageEntry {
        std::int64_t offset = 0;
        std::uint32_t size = 0;
    };
    std::optional<ImageEntry> inImage(const std::string& name) const {
        std::uint32_t size = 0;
        const std::uint32_t block = UDFFindFile(dvd_.get(), ("/VIDEO_TS/" + name).c_str(), &size);
        if (block == 0)
            return std::nullopt;
        return ImageEntry{std::int64_t{block} * kBlock, size};
    }

    // The IFO of title set `number` (0: the disc's) and its backup, as the library would
    // read them.
    void checkTables(int number) {
        for (const char* suffix : {"IFO", "BUP"}) {
            const std::string name =
                number == 0 ? std::string("VIDEO_TS.") + suffix : titleSetName(number, 0, suffix);
            std::vector<std::uint8_t> bytes;
            if (location_.image) {
                const auto entry = inImage(name);
                if (!entry)
                    continue;
                bytes.resize(entry->size);
                bytes.resize(readFile(location_.root, entry->offset,
                                      reinterpret_cast<std::byte*>(bytes.data()), entry->size));
            } else {
                const auto path = findEntry(location_.root, name);
                struct stat info {};
                if (!path || ::stat(path->c_str(), &info) != 0 || !S_ISREG(info.st_mode))
                    continue;
                // IFO files are small; a huge one is no IFO the library could use either.
                if (info.st_size > kLargestIfo)
                    throw FileError(kDamaged);
                bytes.resize(static_cast<std::size_t>(info.st_size));
                bytes.resize(
                    readFile(*path, 0, reinterpret_cast<std::byte*>(bytes.data()), bytes.size()));
            }
            if (!ifoIsSafe(std::move(bytes)))
                throw FileError(kDamaged);
        }
    }

    void findParts(int number, TitleSet& set) {
        for (int part = 1; part <= 9; ++part) {
            const std::string name = titleSetName(number, part, "VOB");
            VobPart found;
            if (location_.image) {
                const auto entry = inImage(name);
                if (!entry)
                    break;
                found = {location_.root, entry->offset, entry->size / kBlock, set.blocks};
            } else {
                const auto path = findEntry(location_.root, name);
                struct stat info {};
                if (!path || ::stat(path->c_str(), &info) != 0)
                    break;
                found = {*path, 0, static_cast<std::int64_t>(info.st_size) / kBlock, set.blocks};
            }
            set.blocks += found.blocks;
            set.parts.push_back(found);
        }
        if (location_.image) {
            struct stat info {};
            if (::stat(location_.root.c_str(), &info) != 0)
                throw FileError(kNoVideo);
            // An image cut short keeps the blocks it still has; the cells in the rest are
            // the ones lost.
            for (VobPart& part : set.parts)
                part.blocks =
                    std::clamp<std::int64_t>((info.st_size - part.offset) / kBlock, 0, part.blocks);
        }
    }

    std::optional<ReadTitle> readTitle(int number, const title_info_t& info) {
        TitleSet& set = titleSet(info.title_set_nr);
        const vts_ptt_srpt_t& chapters = *set.ifo->vts_ptt_srpt;
        const pgcit_t& chains = *set.ifo->vts_pgcit;
        if (info.vts_ttn < 1 || info.vts_ttn > chapters.nr_of_srpts || !chapters.title)
            throw FileError(kDamaged);
        const ttu_t& unit = chapters.title[info.vts_ttn - 1];
        if (unit.nr_of_ptts == 0 || !unit.ptt)
            return std::nullopt;

        ReadTitle read;
        read.title.number = number;
        read.titleSet = info.title_set_nr;
        read.title.angles = std::clamp<int>(info.nr_of_angles, 1, 9);
        read.otherAngles.resize(static_cast<std::size_t>(read.title.angles - 1));
        // For each chain taken, where each of its cells went among the title's cells. A
        // chain is taken once, so a title whose chains link round in a loop ends.
        std::map<int, std::vector<std::size_t>> taken;
        std::int64_t bytes = 0;
        double clock = 0;
        const auto take = [&](int pgcn) {
            const auto placed = taken.emplace(pgcn, std::vector<std::size_t>()).first;
            takeReadable(*chainOf(chains, pgcn), set, read, placed->second, bytes, clock);
            return placed;
        };
        for (int p = 0; p < unit.nr_of_ptts; ++p) {
            const ptt_info_t& chapter = unit.ptt[p];
            const pgc_t* chain = chainOf(chains, chapter.pgcn);
            auto placed = taken.find(chapter.pgcn);
            if (placed == taken.end()) {
                placed = take(chapter.pgcn);
                // A chain that ends goes on with its next chain, as a player plays it, up to
                // a chain the title has or one another title starts with.
                for (int next = chain->next_pgc_nr;
                     next != 0 && !taken.count(next) && continuesTitle(chains, next, info.vts_ttn);
                     next = chainOf(chains, next)->next_pgc_nr)
                    take(next);
            }
            if (chapter.pgn < 1 || chapter.pgn > chain->nr_of_programs || !chain->program_map)
                throw FileError(kDamaged);
            const int cell = chain->program_map[chapter.pgn - 1];
            if (cell < 1 || static_cast<std::size_t>(cell) > placed->second.size())
                throw FileError(kDamaged);
            const std::size_t index = placed->second[static_cast<std::size_t>(cell - 1)];
            if (index < read.title.cells.size())
                read.title.chapters.push_back(read.title.cells[index].start);
        }
        if (read.title.cells.empty() || read.title.duration() <= 0 || read.title.size() == 0)
            return std::nullopt;
        keepDistinctAngles(read);
        describeStreams(*set.ifo, *chains.pgci_srp[unit.ptt[0].pgcn - 1].pgc, read.title);
        std::sort(read.title.chapters.begin(), read.title.chapters.end());
        read.title.chapters.erase(
            std::unique(read.title.chapters.begin(), read.title.chapters.end()),
            read.title.chapters.end());
        return read;
    }

    static const pgc_t* chainOf(const pgcit_t& chains, int pgcn) {
        if (pgcn < 1 || pgcn > chains.nr_of_pgci_srp || !chains.pgci_srp ||
            !chains.pgci_srp[pgcn - 1].pgc)
            throw FileError(kDamaged);
        return chains.pgci_srp[pgcn - 1].pgc;
    }

    // Whether chain `pgcn`, linked to from a chain of title `vtsTitle`, plays on in that
    // title: it exists and is no other title's first chain.
    static bool continuesTitle(const pgcit_t& chains, int pgcn, int vtsTitle) {
        if (pgcn < 1 || pgcn > chains.nr_of_pgci_srp || !chains.pgci_srp ||
            !chains.pgci_srp[pgcn - 1].pgc)
            return false;
        const std::uint8_t entry = chains.pgci_srp[pgcn - 1].entry_id;
        return (entry & 0x80) == 0 || (entry & 0x7F) == vtsTitle;
    }

    // takeCells on the cells of `chain` whose sectors the title set's files hold. A damaged
    // or cut-short copy loses the others: each is left out of the title and named in its
    // problems at the time it would have played, so the timeline runs on without a gap. A
    // chapter at such a cell starts at the next cell that plays.
    void takeReadable(const pgc_t& chain, const TitleSet& set, ReadTitle& read,
                      std::vector<std::size_t>& placed, std::int64_t& bytes, double& clock) {
        if (chain.nr_of_cells > 0 && !chain.cell_playback)
            throw FileError(kDamaged);
        pgc_t readable = chain;
        std::vector<cell_playback_t> cells;
        std::vector<cell_position_t> positions;
        std::vector<bool> kept;
        for (int c = 0; c < chain.nr_of_cells; ++c) {
            const cell_playback_t& cell = chain.cell_playback[c];
            kept.push_back(holds(set, cell.first_sector, cell.last_sector));
            if (!kept.back())
                continue;
            cells.push_back(cell);
            if (chain.cell_position)
                positions.push_back(chain.cell_position[c]);
        }
        readable.nr_of_cells = static_cast<std::uint8_t>(cells.size());
        readable.cell_playback = cells.data();
        readable.cell_position = chain.cell_position ? positions.data() : nullptr;
        std::vector<std::size_t> placedReadable;
        takeCells(readable, set, read, placedReadable, bytes, clock);

        // A cell left out stands where the next cell that plays stands.
        std::vector<std::size_t> at(kept.size());
        std::vector<std::size_t> lost;
        std::size_t following = cells.size();
        for (std::size_t c = kept.size(); c-- > 0;) {
            if (kept[c])
                --following;
            at[c] = following < placedReadable.size() ? placedReadable[following]
                                                      : read.title.cells.size();
            if (!kept[c])
                lost.push_back(at[c]);
        }
        placed.insert(placed.end(), at.begin(), at.end());
        for (auto where = lost.rbegin(); where != lost.rend(); ++where) {
            const double time =
                *where < read.title.cells.size() ? read.title.cells[*where].start : clock;
            const std::string problem =
                "the title's cell at " + clockText(time) + " cannot be read";
            if (std::find(read.title.problems.begin(), read.title.problems.end(), problem) ==
                read.title.problems.end())
                read.title.problems.push_back(problem);
        }
    }

    // Appends a chain's cells to the title; `placed` gets each cell's index among them.
    void takeCells(const pgc_t& chain, const TitleSet& set, ReadTitle& read,
                   std::vector<std::size_t>& placed, std::int64_t& bytes, double& clock) {
        if (chain.nr_of_cells > 0 && !chain.cell_playback)
            throw FileError(kDamaged);
        for (int c = 0; c < chain.nr_of_cells; ++c) {
            const cell_playback_t& cell = chain.cell_playback[c];
            const bool angleBlock = cell.block_type == BLOCK_TYPE_ANGLE_BLOCK;
            // Other angles of a block play instead of the first, not after it.
            const bool laterAngle =
                angleBlock && cell.block_mode != BLOCK_MODE_FIRST_CELL && !read.title.cells.empty();
            if (laterAngle) {
                placed.push_back(read.title.cells.size() - 1);
                continue;
            }
            if (cell.first_sector > cell.last_sector || cell.last_sector >= set.blocks)
                throw FileError(kDamaged);
            // The cells of this angle block, which the angles play one each.
            int blockCells = 1;
            while (angleBlock && c + blockCells < chain.nr_of_cells &&
                   chain.cell_playback[c + blockCells].block_type == BLOCK_TYPE_ANGLE_BLOCK &&
                   chain.cell_playback[c + blockCells - 1].block_mode != BLOCK_MODE_LAST_CELL)
                ++blockCells;
            for (int angle = 2; angle <= read.title.angles; ++angle) {
                const cell_playback_t& own =
                    chain.cell_playback[c + std::min(angle, blockCells) - 1];
                AngleView& view = read.otherAngles[static_cast<std::size_t>(angle - 2)];
                if (own.first_sector > own.last_sector || own.last_sector >= set.blocks ||
                    !takeCell(own, std::min(angle, blockCells), set, view))
                    read.title.problems.push_back("angle " + std::to_string(angle) +
                                                  ": the title's cell at " + clockText(clock) +
                                                  " cannot be read");
            }
            AngleView first{std::move(read.title.extents), std::move(read.title.cells)};
            const bool taken = takeCell(cell, 1, set, first);
            read.title.extents = std::move(first.extents);
            read.title.cells = std::move(first.cells);
            if (!taken) {
                read.title.problems.push_back("the title's cell at " + clockText(clock) +
                                              " cannot be read");
                placed.push_back(read.title.cells.size());
                continue;
            }
            read.cellBlocks.emplace_back(cell.first_sector, cell.last_sector);
            placed.push_back(read.title.cells.size() - 1);
            bytes = read.title.cells.back().end;
            clock += read.title.cells.back().duration;
        }
    }

    // libdvdread decrypts where it can (libdvdcss on a drive); the clip is copied from the
    // files as stored, so they must read the same.
    void checkReadsAsStored() {
        for (const auto& [number, set] : sets_) {
            if (set.parts.empty() || set.parts.front().blocks == 0)
                continue;
            std::unique_ptr<dvd_file_t, FileCloser> file(
                DVDOpenFile(dvd_.get(), number, DVD_READ_TITLE_VOBS));
            if (!file)
                throw FileError(kNoVideo);
            std::array<unsigned char, kBlock> library{};
            std::array<std::byte, kBlock> stored{};
            if (DVDReadBlocks(file.get(), 0, 1, library.data()) != 1 ||
                readFile(set.parts.front().path, set.parts.front().offset, stored.data(),
                         stored.size()) != stored.size())
                throw FileError(kNoVideo);
            if (std::memcmp(library.data(), stored.data(), kBlock) != 0)
                throw FileError(kEncrypted);
        }
    }

    // A VOB that was opened names its title, and where in it the VOB begins when only one
    // title plays it. Otherwise the title the disc's First Play starts, as a player starts
    // it, unless its cells play under a second each on average (a decoy no one cuts from);
    // else the longest title that is no decoy.
    void chooseStart(Disc& disc, const std::vector<ReadTitle>& found) {
        std::vector<CellPlaces> places;
        for (const ReadTitle& read : found)
            places.push_back(cellPlaces(read));
        std::vector<std::size_t> candidates;
        for (std::size_t t = 0; t < found.size(); ++t)
            if (!fragmented(found[t]) && !reordersAnother(found, places, t))
                candidates.push_back(t);
        if (candidates.empty())
            for (std::size_t t = 0; t < found.size(); ++t)
                candidates.push_back(t);
        disc.startTitle = *std::max_element(
            candidates.begin(), candidates.end(), [&found](std::size_t a, std::size_t b) {
                return found[a].title.duration() < found[b].title.duration();
            });
        if (location_.titleSet == 0) {
            const int first = found.size() > 1 ? firstPlayTitle(location_.root) : 0;
            for (std::size_t t = 0; t < found.size(); ++t)
                if (found[t].title.number == first && !fragmented(found[t]))
                    disc.startTitle = t;
            return;
        }
        const auto set = sets_.find(location_.titleSet);
        if (set == sets_.end())
            return;
        if (location_.vobPart == 0) {
            for (std::size_t t = 0; t < found.size(); ++t)
                if (found[t].titleSet == location_.titleSet) {
                    disc.startTitle = t;
                    return;
                }
            return;
        }
        if (static_cast<std::size_t>(location_.vobPart) > set->second.parts.size())
            return;
        const VobPart& part = set->second.parts[static_cast<std::size_t>(location_.vobPart - 1)];
        const std::int64_t from = part.firstBlock;
        const std::int64_t to = part.firstBlock + part.blocks - 1;
        std::vector<std::size_t> playing;
        for (std::size_t t = 0; t < found.size(); ++t) {
            if (found[t].titleSet != location_.titleSet)
                continue;
            for (const auto& [first, last] : found[t].cellBlocks)
                if (first <= to && last >= from) {
                    playing.push_back(t);
                    break;
                }
        }
        if (playing.empty())
            return;
        disc.startTitle = playing.front();
        if (playing.size() == 1)
            disc.startSeconds = placeOf(found[playing.front()], from);
    }

    // Cells of under a second on average: a title of them is a decoy, each cell a few
    // frames of a film cut up so that a copy made by following it is useless.
    static bool fragmented(const ReadTitle& read) {
        return read.title.duration() < static_cast<double>(read.title.cells.size());
    }

    // Where each of a title's cells (its sectors) plays among its cells.
    using CellPlaces = std::map<std::pair<std::int64_t, std::int64_t>, std::vector<std::size_t>>;
    static CellPlaces cellPlaces(const ReadTitle& read) {
        CellPlaces places;
        for (std::size_t c = 0; c < read.cellBlocks.size(); ++c)
            places[read.cellBlocks[c]].push_back(c);
        return places;
    }

    // Whether title `t` only plays cells of another title of its set in another order, with
    // more jumps back on the disc than that title (the same count: it has the higher number).
    // Decoys that repeat the film's cells shuffled have many; the film, few.
    static bool reordersAnother(const std::vector<ReadTitle>& found,
                                const std::vector<CellPlaces>& places, std::size_t t) {
        const auto jumpsBack = [](const ReadTitle& read) {
            std::size_t jumps = 0;
            for (std::size_t c = 1; c < read.cellBlocks.size(); ++c)
                jumps += read.cellBlocks[c].first < read.cellBlocks[c - 1].first;
            return jumps;
        };
        const ReadTitle& title = found[t];
        for (std::size_t o = 0; o < found.size(); ++o) {
            const ReadTitle& other = found[o];
            if (o == t || other.titleSet != title.titleSet || other.cellBlocks == title.cellBlocks)
                continue;
            // Played in the other title's order, it is a part of that title, no repeat.
            bool within = true;
            bool inOrder = true;
            std::size_t from = 0;
            for (const auto& cell : title.cellBlocks) {
                const auto there = places[o].find(cell);
                if (there == places[o].end()) {
                    within = false;
                    break;
                }
                const auto next =
                    std::lower_bound(there->second.begin(), there->second.end(), from);
                inOrder = inOrder && next != there->second.end();
                if (inOrder)
                    from = *next + 1;
            }
            if (!within || inOrder)
                continue;
            const auto mine = jumpsBack(title);
            const auto theirs = jumpsBack(other);
            if (mine > theirs || (mine == theirs && title.title.number > other.title.number))
                return true;
        }
        return false;
    }

    // The title time at the title set's block `block`: a cell's start, or the elapsed time
    // of the first navigation pack after it inside its cell.
    double placeOf(const ReadTitle& read, std::int64_t block) {
        const Title& title = read.title;
        for (std::size_t c = 0; c < read.cellBlocks.size(); ++c) {
            const auto [first, last] = read.cellBlocks[c];
            if (block < first || block > last)
                continue;
            std::array<std::byte, kBlock> pack{};
            const std::int64_t cellOffset = title.cells[c].begin + (block - first) * kBlock;
            for (std::int64_t n = 0; n < kNavPackSearch && block + n <= last; ++n) {
                if (::parvane::readTitle(title, cellOffset + n * kBlock, pack.data(), kBlock) !=
                    static_cast<std::size_t>(kBlock))
                    break;
                const auto b = [&pack](std::size_t i) { return static_cast<unsigned>(pack[i]); };
                // A navigation pack: its DSI packet at 0x400, substream 1.
                if (b(0x400) != 0 || b(0x401) != 0 || b(0x402) != 1 || b(0x403) != 0xBF ||
                    b(0x406) != 1 || b(0x26 + 3) != 0xBF)
                    continue;
                dsi_t dsi{};
                navRead_DSI(&dsi, reinterpret_cast<unsigned char*>(pack.data()) + 0x407);
                if (dsi.dsi_gi.nv_pck_lbn != static_cast<std::uint32_t>(block + n))
                    break;
                const double elapsed = seconds(dsi.dsi_gi.c_eltm);
                return title.cells[c].start + std::min(elapsed, title.cells[c].duration);
            }
            return 0;
        }
        // Cells play in the chain's order, not the disc's: the cell that starts nearest after
        // the block on the disc.
        std::optional<std::size_t> after;
        for (std::size_t c = 0; c < read.cellBlocks.size(); ++c)
            if (read.cellBlocks[c].first > block &&
                (!after || read.cellBlocks[c].first < read.cellBlocks[*after].first))
                after = c;
        return after ? title.cells[*after].start : 0;
    }

    Location location_;
    std::unique_ptr<dvd_reader_t, DvdCloser> dvd_;
    Ifo vmg_;
    std::map<int, TitleSet> sets_;
};

} // namespace

std::optional<Disc> DvdreadDiscReader::read(const std::string& path) const {
    const auto location = locate(path);
    if (!location)
        return std::nullopt;
    // The checks above keep libdvdread 6.1.3 from the damaged IFO files known to make it
    // write or free memory it does not own; fuzzing finds more. So the disc is read in a
    // child process: a file that breaks the library costs a refusal, not the program.
    std::optional<std::string> answer;
    try {
        answer = callInChild(
            [&location] {
                try {
                    return "D" + encodeDisc(DiscLoader(*location).load());
                } catch (const FileError& error) {
                    return std::string("E") + error.what();
                }
            },
            kReadLimit);
    } catch (const std::system_error&) {
        throw FileError(kUnreadable); // no process to read it in: the system is out of them
    }
    if (!answer || answer->empty())
        throw FileError(kDamaged);
    if (answer->front() == 'E')
        throw FileError(answer->substr(1));
    auto disc = decodeDisc(std::string_view(*answer).substr(1));
    if (!disc)
        throw FileError(kDamaged);
    return disc;
}

} // namespace parvane
