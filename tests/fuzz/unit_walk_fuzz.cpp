// libFuzzer: the walk through an interleaved cell's units over damaged navigation packs.
// Each input is a run of 2048-byte blocks, the cell all of them; its size picks the angle
// and whether the cell is an angle block's. Whatever the links say (back, into the unit
// they leave, past the cell, in circles), the walk must end, and give runs inside the cell,
// each after the one before.

#include "platform/dvdread/unit_walk.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace parvane;
    const auto blocks = static_cast<std::int64_t>(size / 2048);
    if (blocks == 0)
        return 0;
    CellLayout cell;
    cell.first = 0;
    cell.last = blocks - 1;
    cell.interleaved = true;
    cell.angleBlock = size % 2 == 1;
    cell.angle = 1 + static_cast<int>(size / 2 % 9);
    cell.seamlessAngle = size % 4 < 2;
    std::int64_t reads = 0;
    const CellUnits units = walkCell(cell, [&](std::int64_t number, Block& block) {
        if (++reads > blocks || number < 0 || number >= blocks)
            std::abort(); // read twice over, or outside the cell
        std::memcpy(block.data(), data + number * 2048, block.size());
        return true;
    });
    std::int64_t after = 0;
    for (const BlockRun& run : units.runs) {
        if (run.first < after || run.last < run.first || run.last > cell.last)
            std::abort();
        after = run.last + 1;
    }
    return 0;
}
