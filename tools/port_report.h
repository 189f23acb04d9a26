#pragma once
// What a technician is told about a port that does not open, and the --ports listing.

#include <string>

#include "tools/device_identity.h"

namespace tools {

// The port number PORT stands for: COMn as it is; a device path under the number the port map or
// the default table already gives it, else under a number of its own added to the port map.
int portNumberFor(const std::string &port);

// The reason the last OpenComm failed, for the port as the user named it (COMn or a device).
std::string openFailureText(const std::string &port, const std::string &device);

// COM1 to COM16 and every mapped number: the device each names, whether it opens now, and who
// is behind it (driver; for a USB adapter its identity and by-id name); then the serial devices
// no number reaches, each with a port map line that would reach it. Each port is opened and
// closed again, as a scan would. JSON: one object per port and per unreached device.
void listPorts(bool json, const FileRoots &roots = {});

} // namespace tools
