#include "platform/dvdread/disc_encoding.h"
#include "platform/posix/call_in_child.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include <unistd.h>

namespace parvane {
namespace {

using namespace std::chrono_literals;

TEST(CallInChild, ReturnsWhatTheChildSaidEvenPastAPipesBuffer) {
    std::string said(1 << 20, '\0');
    for (std::size_t i = 0; i < said.size(); ++i)
        said[i] = static_cast<char>(i * 7 % 251);
    EXPECT_EQ(callInChild([&] { return said; }, 30s), said);
    EXPECT_EQ(callInChild([] { return std::string(); }, 30s), std::string());
}

TEST(CallInChild, AChildThatCrashesThrowsFailsOrHangsGivesNothing) {
    int parentState = 1;
    const std::vector<std::pair<const char*, std::function<std::string()>>> children = {
        {"crashes",
         [&] {
             parentState = 2; // its memory is its own
             std::raise(SIGSEGV);
             return std::string("after the crash");
         }},
        {"aborts", []() -> std::string { std::abort(); }},
        {"throws", []() -> std::string { throw std::runtime_error("no"); }},
        {"exits with a failure", []() -> std::string { ::_exit(3); }},
        {"hangs",
         []() -> std::string {
             for (;;)
                 ::pause();
         }},
    };
    for (const auto& [what, work] : children)
        EXPECT_EQ(callInChild(work, 500ms), std::nullopt) << "a child that " << what;
    EXPECT_EQ(parentState, 1);
}

Disc sampleDisc() {
    Disc disc;
    disc.startTitle = 1;
    disc.startSeconds = 12.345;
    Title first;
    first.number = 1;
    first.extents = {{"/media/My DVD/VIDEO_TS/VTS_01_1.VOB", 0, 1 << 30},
                     {"/media/odd\nname/VTS_01_2.VOB", 4096, 2048}};
    first.cells = {{0, 600 * 2048, 0, 11.96, false},
                   {600 * 2048, (1 << 30) + 2048, 11.96, 24.04, true}};
    first.chapters = {0, 11.96};
    first.discFiles = {"/media/My DVD/VIDEO_TS/VIDEO_TS.IFO",
                       "/media/My DVD/VIDEO_TS/VTS_01_0.BUP"};
    first.angles = 2;
    first.angleViews = {{first.extents, first.cells},
                        {{{"/media/a", 0, 2048}}, {{0, 2048, 0, 1, 0}}}};
    first.audio = {{0x80, "AC-3", 6, "en"}, {0xC1, "MPEG", 2, ""}};
    first.subpictures = {{0x21, "fr"}};
    first.palette = std::vector<std::uint32_t>(16, 0x00108080);
    first.problems = {"the cell at 0:00:12 cannot be read"};
    Title second;
    second.number = 3;
    second.extents = {{"/images/disc.iso", std::int64_t{5} << 32, 8 * 2048}};
    second.cells = {{0, 8 * 2048, 0, 0.48, false}};
    second.chapters = {0};
    disc.titles = {first, second};
    return disc;
}

TEST(DiscEncoding, ADiscComesBackAsItWasAndCutOrLongerBytesGiveNothing) {
    const Disc disc = sampleDisc();
    const std::string bytes = encodeDisc(disc);
    const auto back = decodeDisc(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->startTitle, disc.startTitle);
    EXPECT_EQ(back->startSeconds, disc.startSeconds);
    ASSERT_EQ(back->titles.size(), 2u);
    EXPECT_EQ(back->titles[0].withAngle(2).extents[0].path, "/media/a");
    // Encoding writes every field, so what was read back writes the same bytes.
    EXPECT_EQ(encodeDisc(*back), bytes);
    for (std::size_t size = 0; size < bytes.size(); ++size)
        EXPECT_FALSE(decodeDisc(bytes.substr(0, size))) << "cut to " << size << " bytes";
    EXPECT_FALSE(decodeDisc(bytes + '\0'));
}

} // namespace
} // namespace parvane
