#include "ops/start_up.h"

#include "link/commands.h"
#include "link/port_backend.h"
#include "ops/state.h"
#include "platform/hooks.h"
#include "settings/settings.h"
#include "texts/ui_text.h"

namespace ops {

static_assert(kDefaultLineSetting == kDefaultBaudRateNo);

void startUp()
{
    runState.reset();
    if (LoadSettings())
        LanguageIndex = languageIndexFor(LanguageFlag);
}

void chooseLanguage(int index)
{
    LanguageIndex = index;
    LanguageFlag = languageFlagFor(index);
    SaveLanguage();
}

int languageInForce() { return LanguageIndex; }

void loadPortMap() { LoadPortMap(); }

QStringList lineSettingNames()
{
    QStringList names;
    for (const char *settings : BaudRateList)
        names << QString::fromLatin1(settings);
    return names;
}

int rememberedLineSetting() { return ScanBaudRateNo; }

int maxPrintTextBytes() { return cmd::kMaxPrintTextLength; }

void pumpMessages() { platform::PumpMessages(); }

struct ProgramRun::Held {
    platform::TimerResolution timer;   // 1 ms pauses and polls, not the system's default tick
    std::unique_ptr<platform::HooksGuard> hooks;
};

ProgramRun::ProgramRun(std::function<void()> pump) : m_held(std::make_unique<Held>())
{
    // Ended by a signal (a kill, Ctrl+C, the terminal closing, a closed pipe), the program still
    // puts the serial port back as it found it.
    serial::restorePortOnSignals();
    if (pump) {
        platform::Hooks real;
        real.pump = std::move(pump);
        m_held->hooks = std::make_unique<platform::HooksGuard>(real);
    }
}

ProgramRun::~ProgramRun() = default;

} // namespace ops
