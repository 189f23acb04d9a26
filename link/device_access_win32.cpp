// Windows names neither a group to join nor the holder of a port.
#ifdef _WIN32

#include "device_access.h"

namespace serial {

std::string groupToJoin(const std::string &) { return {}; }
std::vector<Holder> holdersOf(const std::string &) { return {}; }

} // namespace serial

#endif
