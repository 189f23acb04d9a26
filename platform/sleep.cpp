#include "hooks.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <time.h>
#endif

namespace platform {

void realSleepMs(std::uint32_t ms)
{
#ifdef _WIN32
    Sleep(ms);
#else
    timespec req{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
    timespec rem{};
    while (nanosleep(&req, &rem) != 0 && errno == EINTR)
        req = rem;
#endif
}

} // namespace platform
