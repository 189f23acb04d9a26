#pragma once
// What both front ends (the window, telmax-cmd) do at start and for their whole run, and the
// few facts of the module they show: the line settings, the print text's limit.

#include <QStringList>
#include <functional>
#include <memory>

#include "texts/ui_text.h"   // the languages (kLanguages) chooseLanguage picks from

namespace ops {

// Start-up: the defaults, the stored settings and the port map, the language they give, and the
// run state cleared (FormCreate's part that is not the window's own).
void startUp();

// A language button: the language (an index into kLanguages) in force at once, and remembered.
void chooseLanguage(int index);
// The language in force: the stored one after start-up, or the one chosen since.
int languageInForce();

// The port map alone, as start-up reads it, for a front end that does nothing else first.
void loadPortMap();

// The twelve line settings, index 0 to 11, as the combo box lists them, and the index of the
// factory default.
QStringList lineSettingNames();
inline constexpr int kDefaultLineSetting = 5;
// The line setting the module was last found or set at, as the combo box selects it.
int rememberedLineSetting();

// The most bytes of text one print command carries.
int maxPrintTextBytes();

// Handles the window's pending messages now, through the installed pump.
void pumpMessages();

// Held by main() for the program's whole run: the system timer at 1 ms, the ports put back when
// a signal ends the program, and the message pump the link's waits call (none: nothing pumped).
class ProgramRun {
public:
    explicit ProgramRun(std::function<void()> pump = {});
    ~ProgramRun();
    ProgramRun(const ProgramRun &) = delete;
    ProgramRun &operator=(const ProgramRun &) = delete;

private:
    struct Held;
    std::unique_ptr<Held> m_held;
};

} // namespace ops
