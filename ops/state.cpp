#include "ops/state.h"

bool ModuleFound = false;
bool ProcessRunning = false;
