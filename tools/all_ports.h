#pragma once
// --all: every module on the ports a search covers. scan --all lists each module found (one
// block or JSON object per port, in port order, nothing stored); other verbs run on each module
// in a run of its own (tools/child_run.h), all at once, each port's results shown after its
// port, in port order. The exit status is the worst of them.

#include "tools/verb_grammar.h"

namespace tools {

class AuditLog;

// audit: where scan --all records each module found (the runs of their own record their own).
int runAll(const Invocation &invocation, int language, AuditLog *audit);

} // namespace tools
