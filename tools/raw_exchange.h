#pragma once
// The raw form of telmax-cmd: one exchange per command text on one open port.
//
//   telmax-cmd [--line 19200,e,8,1] PORT COMMAND...

#include <string>
#include <vector>

namespace tools {

// args: the command line after the program name. Exit status: 0 every exchange verified,
// 1 one failed, 2 bad usage or a port that does not open.
int runRawExchanges(const std::vector<std::string> &args);

extern const char kRawUsage[];

} // namespace tools
