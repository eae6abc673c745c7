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

#include <unistd.h>

int main(int argc, char* argv[]) {
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
