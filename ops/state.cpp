#include "ops/state.h"

#include "settings/settings.h"
#include "texts/ui_text.h"

namespace ops {

RunState run;

void RunState::reset()
{
    moduleFound = false;
    processRunning = false;
    testActive = false;
    SetDefaultSettings();
    LanguageIndex = 0;
}

} // namespace ops

bool &ModuleFound = ops::run.moduleFound;
bool &ProcessRunning = ops::run.processRunning;
