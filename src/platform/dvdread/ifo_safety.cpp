#include "ifo_safety.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_types.h>

#include <algorithm>
#include <cstddef>
#include <string>

namespace parvane {

namespace {

constexpr std::int64_t kBlock = DVD_VIDEO_LB_LEN;

// Refuses the IFO files that libdvdread 6.1.3 would read into memory it does not own:
// - it frees a program chain's command lists twice when they run past the end of the file;
// - it sizes the title tables and the cell address tables from their last byte in 32 bits,
//   and reads them through a buffer whose size is counted in 32 bits too: a length that
//   wraps below the table's header, or runs to gigabytes, overflows that buffer.
// The library reads whole 2048-byte blocks: a read into a partial last block fails too.
class IfoSafetyCheck {
public:
    explicit IfoSafetyCheck(std::vector<std::uint8_t> ifo)
        : ifo_(std::move(ifo)), readable_(ifo_.size() / kBlock * kBlock) {}

    bool safe() const {
        const std::string kind(reinterpret_cast<const char*>(ifo_.data()),
                               std::min<std::size_t>(ifo_.size(), 12));
        if (kind == "DVDVIDEO-VMG")
            return chainSafe(word32(0x84)) && unitTableSafe(word32(0xC8)) &&
                   lengthSafe(word32(offsetof(vmgi_mat_t, tt_srpt)), false) &&
                   lengthSafe(word32(offsetof(vmgi_mat_t, vmgm_c_adt)), true);
        if (kind == "DVDVIDEO-VTS")
            return chainTableSafe(std::uint64_t{word32(0xCC)} * kBlock, word32(0xCC) != 0) &&
                   unitTableSafe(word32(0xD0)) &&
                   lengthSafe(word32(offsetof(vtsi_mat_t, vts_ptt_srpt)), false) &&
                   lengthSafe(word32(offsetof(vtsi_mat_t, vtsm_c_adt)), true) &&
                   lengthSafe(word32(offsetof(vtsi_mat_t, vts_c_adt)), true);
        return true; // the library refuses it before reading any chain
    }

private:
    bool fits(std::uint64_t at, std::uint64_t length) const {
        return at <= readable_ && length <= readable_ - at;
    }
    std::uint32_t word16(std::uint64_t at) const {
        return fits(at, 2) ? std::uint32_t{ifo_[at]} << 8 | ifo_[at + 1] : 0;
    }
    std::uint32_t word32(std::uint64_t at) const { return word16(at) << 16 | word16(at + 2); }

    // A chain whose header the library can read has its commands read after it.
    bool chainSafe(std::uint64_t chain) const {
        constexpr std::uint64_t kChainSize = 236;
        constexpr std::uint64_t kCommandTableAt = 0xE4;
        if (chain == 0 || !fits(chain, kChainSize))
            return true;
        const std::uint32_t table = word16(chain + kCommandTableAt);
        if (table == 0 || !fits(chain + table, 8))
            return true;
        const std::uint64_t commands =
            word16(chain + table) + word16(chain + table + 2) + word16(chain + table + 4);
        return fits(chain + table + 8, commands * 8);
    }
    bool chainTableSafe(std::uint64_t at, bool present) const {
        if (!present || !fits(at, 8))
            return true;
        const std::uint32_t count = word16(at);
        for (std::uint32_t i = 0; i < count && fits(at + 8 + i * 8, 8); ++i)
            if (!chainSafe(at + word32(at + 8 + i * 8 + 4)))
                return false;
        return true;
    }
    bool unitTableSafe(std::uint32_t sector) const {
        const std::uint64_t at = std::uint64_t{sector} * kBlock;
        if (sector == 0 || !fits(at, 8))
            return true;
        const std::uint32_t count = word16(at);
        for (std::uint32_t i = 0; i < count && fits(at + 8 + i * 8, 8); ++i)
            if (!chainTableSafe(at + word32(at + 8 + i * 8 + 4), true))
                return false;
        return true;
    }

    // A table at `sector` whose 8-byte header ends with its last byte's offset. The library
    // checks that offset against the header itself only for the cell address tables.
    bool lengthSafe(std::uint32_t sector, bool wrapChecked) const {
        constexpr std::uint32_t kHeader = 8;
        const std::uint64_t at = std::uint64_t{sector} * kBlock;
        if (sector == 0 || !fits(at, kHeader))
            return true;
        const std::uint32_t last = word32(at + 4);
        if (last == 0 || (wrapChecked && last + 1 < kHeader))
            return true; // the library fills it in, or refuses the table itself
        const std::uint32_t length = last + 1 - kHeader; // as the library counts it
        return length < kLargestIfo;
    }

    std::vector<std::uint8_t> ifo_;
    std::uint64_t readable_;
};

} // namespace

bool ifoIsSafe(std::vector<std::uint8_t> ifo) {
    return IfoSafetyCheck(std::move(ifo)).safe();
}

} // namespace parvane
