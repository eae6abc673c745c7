#pragma once

#include "core/stream/program_stream.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace parvane {

// A run of a title set's blocks, first to last.
struct BlockRun {
    std::int64_t first = 0;
    std::int64_t last = 0;
};

// What of a cell the disc tells how to play.
struct CellLayout {
    std::int64_t first = 0; // its first block among the title set's
    std::int64_t last = 0;  // its last
    // Its units are interleaved with another cell's: another angle's, or another branch's.
    bool interleaved = false;
    // It is one of an angle block's cells and plays as angle `angle` (from 1).
    bool angleBlock = false;
    int angle = 1;
    // Its angles switch at unit boundaries, without a pause.
    bool seamlessAngle = true;
};

// The cell's blocks in playing order, and whether they could all be found.
struct CellUnits {
    std::vector<BlockRun> runs;
    bool complete = false;
};

using Block = std::array<std::byte, mpeg::kDvdPackSize>;
// Reads block `number` of the title set; false when it cannot be read.
using BlockSource = std::function<bool(std::int64_t number, Block& block)>;

// The blocks a player plays for a cell. A cell that is not interleaved plays all of its
// blocks. An interleaved one plays only its own units, which alternate on the disc with
// other angles' or branches' units: each unit's first navigation pack tells where the
// unit ends (the interleaved unit's end address, or the VOBU's) and where this cell's next
// unit starts (the angle's seamless address, the non-seamless one in the PCI, the next
// unit's start address, or the next VOBU's). So one navigation pack is read per unit.
//
// Links that go backwards, overlap the unit they leave or leave the cell stop the walk,
// incomplete: a damaged disc never makes it loop or read outside the cell.
CellUnits walkCell(const CellLayout& cell, const BlockSource& read);

} // namespace parvane
