#pragma once
// The module operations, one per button of the main window. Each runs to its end on the
// calling (user-interface) thread and reports through the view: lamp, message and tone.

#include "ops/module_view.h"

namespace ops {

void scanModule(ModuleView &view);          // btnScanClick
void setModuleId(ModuleView &view);         // btnIDClick
void setModuleBaudRate(ModuleView &view);   // btnBaudRateClick
void factoryDefault(ModuleView &view);      // btnFactoryClick
void getPrintStatus(ModuleView &view);      // btnStatusClick
void printText(ModuleView &view);           // btnPrintClick
void processTest(ModuleView &view);         // btnProcessClick: starts the test, or asks it to stop

} // namespace ops
