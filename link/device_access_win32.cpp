// Windows names neither a group to join nor the holder of a port.
#ifdef _WIN32

#include "device_access.h"

namespace serial {

std::string groupToJoin(const std::string &) { return {}; }
bool groupPending(const std::string &, const std::string &) { return false; }
std::vector<Holder> holdersOf(const std::string &) { return {}; }

} // namespace serial

#endif
