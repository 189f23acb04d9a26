#include "hooks.h"

#ifdef _WIN32
#include <windows.h>
#elif defined(TELMAX_HAVE_ALSA)
#include <alsa/asoundlib.h>
#include <cmath>
#include <vector>
#endif

namespace platform {

void silentTone(int /*hz*/, int ms)
{
    if (ms > 0)
        realSleepMs(static_cast<std::uint32_t>(ms));
}

namespace {

// Waits whatever is left of ms since start, so the call never returns before the tone's duration.
void waitRest(std::uint32_t start, int ms)
{
    const std::uint32_t spent = realClockMs() - start;
    if (ms > 0 && spent < static_cast<std::uint32_t>(ms))
        realSleepMs(static_cast<std::uint32_t>(ms) - spent);
}

#if !defined(_WIN32) && defined(TELMAX_HAVE_ALSA)
void silenceAlsaErrors(const char *, int, const char *, int, const char *, ...) {}

bool playSine(int hz, int ms)
{
    constexpr unsigned rate = 48000;
    snd_lib_error_set_handler(silenceAlsaErrors);
    snd_pcm_t *pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0)
        return false;
    bool ok = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, rate, 1,
                                 100000) >= 0;
    if (ok) {
        const std::size_t frames = std::size_t(rate) * std::size_t(ms) / 1000u;
        std::vector<short> samples(frames);
        const double step = 2.0 * M_PI * double(hz) / double(rate);
        for (std::size_t i = 0; i < frames; ++i)
            samples[i] = static_cast<short>(std::sin(step * double(i)) * 12000.0);
        std::size_t done = 0;
        while (ok && done < frames) {
            snd_pcm_sframes_t n = snd_pcm_writei(pcm, samples.data() + done, frames - done);
            if (n < 0)
                n = snd_pcm_recover(pcm, int(n), 1);
            if (n < 0)
                ok = false;
            else
                done += std::size_t(n);
        }
        if (ok)
            snd_pcm_drain(pcm);
    }
    snd_pcm_close(pcm);
    return ok;
}
#endif

} // namespace

void defaultTone(int hz, int ms)
{
    const std::uint32_t start = realClockMs();
#ifdef _WIN32
    Beep(static_cast<DWORD>(hz), static_cast<DWORD>(ms));
#elif defined(TELMAX_HAVE_ALSA)
    if (hz > 0 && ms > 0)
        playSine(hz, ms);
#else
    (void)hz;
#endif
    waitRest(start, ms);
}

} // namespace platform
