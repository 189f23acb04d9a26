#pragma once
// The module operations, one per button of the main window. Each runs to its end on the
// calling (user-interface) thread and reports through the view: lamp, message and tone.

#include <string>

#include "ops/module_view.h"

namespace ops {

void scanModule(ModuleView &view);          // btnScanClick
void setModuleId(ModuleView &view);         // btnIDClick
void setModuleBaudRate(ModuleView &view);   // btnBaudRateClick
void factoryDefault(ModuleView &view);      // btnFactoryClick
void getPrintStatus(ModuleView &view);      // btnStatusClick
void printText(ModuleView &view);           // btnPrintClick
void processTest(ModuleView &view);         // btnProcessClick: starts the test, or asks it to stop

// A control character (below 32, and 127) as a space: a tab inside the print command is a frame
// start byte to the module, a zero byte ends the command, and the line is one line.
QString printableText(const QString &text);
// The bytes of a typed text in the printer's code page (PrintCodePage, else the system's),
// printable and as typed: what the text box may hold is measured by them. A character the code
// page lacks is "?", counted in replaced when given.
std::string printTextBytes(const QString &text, int *replaced = nullptr);
// What Print Text sends for a typed text: printable, without the blanks at either end (the
// command drops them, cmd::trimControl), as people are shown it and in the printer's code page,
// with the count of characters the code page lacks.
struct PrintTextSent {
    QString text;
    std::string bytes;
    int replaced = 0;
};
PrintTextSent printTextSent(const QString &typed);
// The name of the printer's code page: PrintCodePage, else the system's.
std::string printCodePageName();

// The printer status Get Module Status shows for a status character ("Print paper out!");
// empty when it has none (case matters).
std::string statusText(const std::string &statusCharacter);

} // namespace ops
