#include "title_streams.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace parvane {

namespace {

// A language the disc names: its two letters in lower case; empty when it names none, or
// gives bytes that are no letters.
std::string languageOf(bool given, std::uint16_t code) {
    const char first = static_cast<char>(code >> 8);
    const char second = static_cast<char>(code & 0xFF);
    const auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    if (!given || !letter(first) || !letter(second))
        return {};
    return {static_cast<char>(std::tolower(static_cast<unsigned char>(first))),
            static_cast<char>(std::tolower(static_cast<unsigned char>(second)))};
}

} // namespace

void describeStreams(const ifo_handle_t& ifo, const pgc_t& chain, Title& title) {
    const vtsi_mat_t* about = ifo.vtsi_mat;
    if (!about)
        return;
    const int audioCount = std::min<int>(about->nr_of_vts_audio_streams, 8);
    for (int i = 0; i < audioCount; ++i) {
        if (!(chain.audio_control[i] & 0x8000))
            continue;
        const int n = (chain.audio_control[i] >> 8) & 7;
        const audio_attr_t& attr = about->vts_audio_attr[i];
        AudioStream stream;
        switch (attr.audio_format) {
        case 0:
            stream.id = 0x80 + n;
            stream.format = "AC-3";
            break;
        case 2:
        case 3:
            stream.id = 0xC0 + n;
            stream.format = "MPEG";
            break;
        case 4:
            stream.id = 0xA0 + n;
            stream.format = "LPCM";
            break;
        case 6:
            stream.id = 0x88 + n;
            stream.format = "DTS";
            break;
        default:
            continue; // no format a player decodes: nothing to offer
        }
        stream.channels = attr.channels + 1;
        stream.language = languageOf(attr.lang_type == 1, attr.lang_code);
        title.audio.push_back(stream);
    }
    const int subpictureCount = std::min<int>(about->nr_of_vts_subp_streams, 32);
    for (int i = 0; i < subpictureCount; ++i) {
        if (!(chain.subp_control[i] & 0x80000000U))
            continue;
        // The stream drawn for a 4:3 picture; a wide picture's variants share its language.
        const int n = static_cast<int>((chain.subp_control[i] >> 24) & 0x1F);
        const subp_attr_t& attr = about->vts_subp_attr[i];
        SubpictureStream stream;
        stream.id = 0x20 + n;
        stream.language = languageOf(attr.type == 1, attr.lang_code);
        title.subpictures.push_back(stream);
    }
    // The chain is a packed structure: its colours are copied out, not bound to references.
    std::array<std::uint32_t, 16> colours{};
    static_assert(sizeof colours == sizeof chain.palette);
    std::memcpy(colours.data(), reinterpret_cast<const char*>(&chain) + offsetof(pgc_t, palette),
                sizeof colours);
    // An authoring tool that sets no colours leaves them all 0: the disc gives none.
    if (std::any_of(colours.begin(), colours.end(),
                    [](std::uint32_t colour) { return colour != 0; }))
        title.palette.assign(colours.begin(), colours.end());
}

} // namespace parvane
