#pragma once

#include "platform/disc_reader.h"

#include "core/base/title.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace parvane {

class FileSystem;
class NavPackReader;
class SourceFile;

// Finds the cells of a plain DVD video object file whose clocks start again: a VOB of a
// title set copied out of its folder (no IFO files to say where its cells are), or pieces
// joined end to end. Each stretch of one clock becomes a cell of a title of one extent
// (the whole file at `path`), one after another on one timeline.
//
// A reset is a pack whose clock reference falls back far below the pack's before it. They
// are found by bisection over the packs' clocks from a coarse look across the file, so the
// survey reads a pack header here and there, never the whole file. Where the navigation
// packs carry their cells (dvdauthor's and discs' do; ffmpeg's are blank), each reset must
// fall where the navigation packs' cell changes, and a cell's length comes from its
// elapsed time (c_eltm) and its last VOBU; elsewhere from its first and last pictures.
//
// Returns nothing for a stream whose clock never falls back, or that is not laid out in
// DVD packs, so that it is cut as one stream. Throws SaveError "the stream's times jump
// near H:MM:SS" where the clocks of a stream that does start again fit no cells: a jump
// forward or a short step back, or a reset inside what the navigation packs call one cell.
std::optional<Title> surveyCells(SourceFile& source, const NavPackReader* navPacks,
                                 const std::string& path);

// The title a cut by the stream's times works on: `title` when one is open, else the title of
// a plain file's cells where its clocks start again; nothing for a plain file of one clock.
std::optional<Title> titleToCut(const Title* title, SourceFile& source,
                                const NavPackReader* navPacks, const std::string& path);

// The most bytes a survey reads that finds `cells` cells (counting one for a stream that
// has no resets), for files up to 2^43 bytes: a fixed part for the coarse look and the
// first navigation pack, and a part per cell for its boundary's bisection and the scans
// for its first and last times.
std::int64_t surveyReadLimit(std::size_t cells);

// A disc reader that also takes a plain file whose clocks start again for the title of its
// cells, so that the window plays, marks and cuts it on the same one timeline. A file the
// survey cannot make cells of opens as a plain file, as before.
class CellSurveyingDiscReader : public DiscReader {
public:
    CellSurveyingDiscReader(const DiscReader& discs, FileSystem& files,
                            const NavPackReader* navPacks)
        : discs_(discs), files_(files), navPacks_(navPacks) {}

    std::optional<Disc> read(const std::string& path) const override;

private:
    const DiscReader& discs_;
    FileSystem& files_;
    const NavPackReader* navPacks_;
};

} // namespace parvane
