#include "hooks.h"

namespace platform {

namespace {
Hooks makeDefaults()
{
    Hooks h;
    h.clock = realClockMs;
    h.sleep = realSleepMs;
    h.pump = [] {};
    h.tone = defaultTone;
    return h;
}
} // namespace

Hooks &hooks()
{
    static Hooks current = makeDefaults();
    return current;
}

std::uint32_t NowMs() { return hooks().clock(); }
void SleepMs(std::uint32_t ms) { hooks().sleep(ms); }
void PumpMessages() { hooks().pump(); }
void Tone(int hz, int ms) { hooks().tone(hz, ms); }

HooksGuard::HooksGuard(const Hooks &replacement)
    : m_saved(hooks())
{
    Hooks &h = hooks();
    if (replacement.clock) h.clock = replacement.clock;
    if (replacement.sleep) h.sleep = replacement.sleep;
    if (replacement.pump) h.pump = replacement.pump;
    if (replacement.tone) h.tone = replacement.tone;
}

HooksGuard::~HooksGuard() { hooks() = m_saved; }

} // namespace platform
