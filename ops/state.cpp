#include "ops/state.h"

#include "settings/settings.h"
#include "texts/ui_text.h"

namespace ops {

RunState runState;

void RunState::reset()
{
    moduleFound = false;
    processRunning = false;
    testHoldsControls = false;
    SetDefaultSettings();
    LanguageIndex = 0;
}

} // namespace ops

bool &ModuleFound = ops::runState.moduleFound;
bool &ProcessRunning = ops::runState.processRunning;
