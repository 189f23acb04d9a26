#pragma once
// telmax-cmd watch [--port COMn | --all] VERB...: a station that waits for the next unit. Each
// watched port is checked once a second (one open and one info command, the reply awaited in
// poll()); a module that answers gets the verbs in a run of its own (tools/child_run.h), the
// result is signalled with the window's tones and a coloured line, and the port is watched until
// the module is gone (no answer, or the lead removed) before the next unit is awaited. A unit
// whose S/N this run did already is refused unless --again. Ctrl+C ends the watch once the units
// in progress are done; the ports are given back.

#include "tools/verb_grammar.h"

namespace tools {

// The exit status: the worst of the units'; 4 when the one port watched cannot be used at all.
int runWatch(const Invocation &invocation, int language);

} // namespace tools
