#pragma once
// The platform services everything above this layer waits and signals through:
// the 32-bit millisecond clock, Sleep, the message pump and the tone.
// main() installs the real ones; tests swap them with HooksGuard.

#include <cstdint>
#include <functional>

namespace platform {

struct Hooks {
    std::function<std::uint32_t()> clock;          // milliseconds, wraps at 2^32
    std::function<void(std::uint32_t ms)> sleep;   // pause the calling thread at least ms
    std::function<void()> pump;                    // handle all pending window messages, then return
    std::function<void(int hz, int ms)> tone;      // sound hz for ms; returns when it has ended
};

// The services in force. Missing members fall back to the real defaults.
Hooks &hooks();

// The real implementations, usable on their own.
std::uint32_t realClockMs();
void realSleepMs(std::uint32_t ms);
void silentTone(int hz, int ms);   // waits ms without sound
void defaultTone(int hz, int ms);  // ALSA or Beep; the rest of ms waited when the device is faster or absent

// Calls through the current hooks.
std::uint32_t NowMs();
void SleepMs(std::uint32_t ms);
void PumpMessages();
void Tone(int hz, int ms);

// Holds the system timer at 1 ms for as long as it lives (timeBeginPeriod(1) on Windows,
// nothing elsewhere). Without it Windows rounds Sleep(1), the 1 ms read time-out and the
// millisecond clock to its default 15.6 ms tick, and every frame takes several times its
// pauses. One for the program's life, in main().
class TimerResolution {
public:
    TimerResolution();
    ~TimerResolution();
    TimerResolution(const TimerResolution &) = delete;
    TimerResolution &operator=(const TimerResolution &) = delete;

private:
    bool m_held = false;
};

// Replaces some hooks for the lifetime of the guard; members left empty keep the current ones.
class HooksGuard {
public:
    explicit HooksGuard(const Hooks &replacement);
    ~HooksGuard();
    HooksGuard(const HooksGuard &) = delete;
    HooksGuard &operator=(const HooksGuard &) = delete;

private:
    Hooks m_saved;
};

} // namespace platform
