#pragma once
// What a technician is told about a port that does not open: the reason, and what to do.

#include <string>

#include "port_backend.h"

namespace serial {

// One line for the port as the user named it (COMn or a device path) and the device it stands
// for, from the result of the failed open.
std::string openFailureText(const std::string &port, const std::string &device, const OpenResult &result);
// One line for a port that hung up while the program used it (Link::wentAway).
std::string wentAwayText(const std::string &device);

// Platform parts (device_access_posix.cpp, device_access_win32.cpp).
// The group to join for a device that refused a user, when joining one would help: a group
// other than root's that may read and write the device. Empty otherwise.
std::string groupToJoin(const std::string &device);
// The processes that hold device open, as "name (pid N), ..."; empty when none or unknown.
std::string holdersOf(const std::string &device);

} // namespace serial
