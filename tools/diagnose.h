#pragma once
// telmax-cmd diagnose [--port COMn]: why no module answers, one finding per port with its fix
// (ops/diagnosis.h), as text or one JSON object per port; then the USB serial leads that have no
// tty. The port of --port, else the remembered one, else COM1-COM16 and every mapped number.

#include "tools/verb_grammar.h"

namespace tools {

// Exit status: 0 a module answered, 4 a port could not be used (a named or remembered port that
// did not open; of every port, one busy or denied, or one that went away), else 3.
int runDiagnose(const Invocation &inv);

} // namespace tools
