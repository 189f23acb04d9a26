#include "hooks.h"

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#endif

namespace platform {

TimerResolution::TimerResolution()
{
#ifdef _WIN32
    m_held = timeBeginPeriod(1) == TIMERR_NOERROR;
#endif
}

TimerResolution::~TimerResolution()
{
    // Only a request that was granted is given back.
    if (!m_held)
        return;
#ifdef _WIN32
    timeEndPeriod(1);
#endif
}

} // namespace platform
