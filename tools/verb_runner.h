#pragma once
// Runs the verb form of telmax-cmd: the window's operations from a shell, run by ops/ against a
// console view, with the window's frames, pauses, tries and stored settings.

#include "tools/verb_grammar.h"

namespace tools {

// Runs the verbs in order, stopping at the first that fails. Exit status: 0 every verb
// succeeded, 1 a verb failed or its results could not be written, 2 a usage error found once
// the settings are read (a print text too long), no module to work on or a port that does not
// open.
int runVerbs(const Invocation &invocation);

} // namespace tools
