#pragma once
// --verify: a change is read back, not assumed. A module that acknowledges a command and does
// not act on it (a fault a line must catch before the unit ships) is told apart by what it
// reports afterwards, at the line setting it should now run at.

#include <QString>

#include "tools/verb_grammar.h"

namespace tools {

// Whether verb changes what the module keeps (set-id, set-baud, factory).
bool changesTheModule(const VerbCall &call);

// The module at port, read at line setting lineIndex after call succeeded: why what it reports
// is not what call set, for people; empty when it is.
QString verifyChange(const VerbCall &call, int port, int lineIndex);

} // namespace tools
