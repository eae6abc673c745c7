// parvane-cut: cuts a clip out of a DVD video object file or a DVD title from the command
// line, without a display: see runCut.

#include "core/build_facts.h"
#include "core/save/cut_command.h"
#include "platform/avcodec/avcodec_picture_codec.h"
#include "platform/dvdread/dvdread_disc_reader.h"
#include "platform/dvdread/dvdread_nav_reader.h"
#include "platform/posix/posix_file_system.h"

#include <iostream>
#include <string>
#include <vector>

#include <malloc.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
    // A frame-exact clip decodes and encodes pictures at both edges, megabytes at a time:
    // kept on the heap and not handed back between them, its buffers are not faulted in
    // twice, which saves a fifth of an edge's time. The program ends after one clip.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    mallopt(M_TOP_PAD, 64 << 20);
    parvane::PosixFileSystem files;
    parvane::DvdreadNavReader navPacks;
    parvane::DvdreadDiscReader discs;
    parvane::AvcodecPictureCodec codec;
    const std::vector<std::string> args(argv + 1, argv + argc);
    return parvane::runCut(args, {.files = files,
                                  .navPacks = &navPacks,
                                  .discs = &discs,
                                  .codec = &codec,
                                  .out = std::cout,
                                  .err = std::cerr,
                                  .progressMeter = ::isatty(STDERR_FILENO) == 1,
                                  .version = parvane::build::kVersion});
}
