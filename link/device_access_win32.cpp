// Windows names neither a group to join nor the holder of a port.
#ifdef _WIN32

#include "open_failure.h"

namespace serial {

std::string groupToJoin(const std::string &) { return {}; }
std::string holdersOf(const std::string &) { return {}; }

} // namespace serial

#endif
