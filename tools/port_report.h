#pragma once
// The --ports listing: what stands behind each port, and whether it opens.

#include <string>

#include "tools/device_identity.h"

namespace tools {

// COM1 to COM16 and every mapped number: the device each names, whether it opens now, and who
// is behind it (driver; for a USB adapter its identity and by-id name); then the serial devices
// no number reaches, each with a port map line that would reach it. Each port is opened and
// closed again, as a scan would. JSON: one object per port and per unreached device.
void listPorts(bool json, const FileRoots &roots = {});

} // namespace tools
