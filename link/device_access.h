#pragma once
// Who may use a device and who holds it: the facts an open that failed is told with.
// One file per platform (device_access_posix.cpp, device_access_win32.cpp).

#include <string>
#include <vector>

#include "port_backend.h"

namespace serial {

// The group to join for a device that refused a user, when joining one would help: a group
// other than root's that may read and write the device. Empty otherwise.
std::string groupToJoin(const std::string &device);
// Whether this user is a member of group in groupFile (the system's group file) while this
// process does not have the group: added since the session began, which counts only from the
// next login.
bool groupPending(const std::string &group, const std::string &groupFile = "/etc/group");
// The processes that hold device open, in the order the system lists them; none when none or
// unknown.
std::vector<Holder> holdersOf(const std::string &device);

} // namespace serial
