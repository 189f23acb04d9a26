#include "hooks.h"

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#else
#include <time.h>
#endif

namespace platform {

std::uint32_t realClockMs()
{
#ifdef _WIN32
    return timeGetTime();
#else
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    // Truncation to 32 bits is the point: the clock wraps like the multimedia timer.
    const std::uint64_t ms = std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
#endif
}

} // namespace platform
