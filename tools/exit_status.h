#pragma once
// telmax-cmd's exit statuses, which a production line acts on: a unit fault (take the unit
// aside), a station fault (fix the station), no module (reconnect and retry).

#include <algorithm>

namespace tools {

inline constexpr int kExitDone = 0;
inline constexpr int kExitUnitFault = 1;      // the module refused or failed; results not written
inline constexpr int kExitUsage = 2;          // usage or configuration
inline constexpr int kExitNoModule = 3;       // a scan found no module
inline constexpr int kExitPortUnusable = 4;   // a port could not be used: missing, busy, denied, not serial, excluded

// Of several runs (--all, watch), the one to act on: the highest.
inline int worstExit(int a, int b) { return std::max(a, b); }

} // namespace tools
