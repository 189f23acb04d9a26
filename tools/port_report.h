#pragma once
// What a technician is told about a port that does not open, and the --ports listing.

#include <string>

namespace tools {

// The port number PORT stands for: COMn as it is; a device path under the number the port map or
// the default table already gives it, else under a number of its own added to the port map.
int portNumberFor(const std::string &port);

// The reason the last OpenComm failed, for the port as the user named it (COMn or a device).
std::string openFailureText(const std::string &port, const std::string &device);

// COM1 to COM16 and every mapped number: the device each names and whether it opens now.
// Each port is opened and closed again, as a scan would.
void listPorts();

} // namespace tools
