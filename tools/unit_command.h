#pragma once
// One unit's run of a gang (--all) or a station (watch), as a command line of this program: the
// options that carry over, the port and line setting the module was found at, and the verbs;
// and the lines it prints, as this run shows them.

#include <string>
#include <vector>

#include "tools/verb_grammar.h"

namespace tools {

// The arguments of the run for the module at port (as telmax-cmd names it) and lineIndex: the
// verbs other than scan and watch, set-id NN+ as NN + offset; --beep only when given beep.
std::vector<std::string> unitArguments(const Invocation &inv, int language, const std::string &port, int lineIndex,
                                       int idOffset, bool beep);

// The highest ID set-id NN+ gives to count units; 0 when the verbs hold no set-id NN+.
int lastCountedId(const Invocation &inv, int count);

// The line setting the module runs at after the verbs succeeded, from lineIndex.
int lineAfterVerbs(const Invocation &inv, int lineIndex);

// A line the unit's run printed, as this run shows it: in text after the port; in JSON the
// object with the port added where it has none.
std::string unitLine(const std::string &port, const std::string &line, bool json);

} // namespace tools
