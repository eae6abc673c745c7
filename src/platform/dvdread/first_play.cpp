#include "first_play.h"

#include "platform/posix/call_in_child.h"

#include <dvdnav/dvdnav.h>

#include <array>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace parvane {

namespace {

void quietNavLog(void*, dvdnav_logger_level_t, const char*, va_list) {}

// Steps of the disc's virtual machine from its First Play to a title: the packs of a
// menu's or an intro's video it plays on the way, and its commands. A disc that gets to no
// title within them waits in a menu, or plays one in a loop.
constexpr int kFirstPlaySteps = 1 << 14;
// The machine runs in a process of its own: libdvdnav reads the tables again, menus'
// ones too, which the checks above do not cover.
constexpr std::chrono::milliseconds kFirstPlayLimit{10'000};

} // namespace

int firstPlayTitle(const std::string& root) {
    std::optional<std::string> answer;
    try {
        answer = callInChild(
            [&root]() -> std::string {
                // Some of libdvdnav's warnings bypass its logger; the user's terminal gets
                // none of them.
                const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
                if (null >= 0) {
                    ::dup2(null, STDERR_FILENO);
                    ::close(null);
                }
                const dvdnav_logger_cb logger{quietNavLog};
                dvdnav_t* nav = nullptr;
                if (dvdnav_open2(&nav, nullptr, &logger, root.c_str()) != DVDNAV_STATUS_OK)
                    return "0";
                std::unique_ptr<dvdnav_t, dvdnav_status_t (*)(dvdnav_t*)> owned(nav, dvdnav_close);
                std::array<std::uint8_t, DVD_VIDEO_LB_LEN> block{};
                for (int step = 0; step < kFirstPlaySteps; ++step) {
                    std::int32_t event = 0;
                    std::int32_t length = 0;
                    if (dvdnav_get_next_block(nav, block.data(), &event, &length) !=
                            DVDNAV_STATUS_OK ||
                        event == DVDNAV_STOP || event == DVDNAV_STILL_FRAME)
                        return "0";
                    if (event == DVDNAV_WAIT)
                        dvdnav_wait_skip(nav);
                    std::int32_t title = 0;
                    std::int32_t part = 0;
                    if (dvdnav_is_domain_vts(nav) &&
                        dvdnav_current_title_info(nav, &title, &part) == DVDNAV_STATUS_OK &&
                        title > 0)
                        return std::to_string(title);
                }
                return "0";
            },
            kFirstPlayLimit);
    } catch (const std::system_error&) {
        return 0;
    }
    return answer ? std::atoi(answer->c_str()) : 0;
}

} // namespace parvane
