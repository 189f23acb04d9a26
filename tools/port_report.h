#pragma once
// The --ports listing: what stands behind each port, and whether it opens.

#include <string>

namespace tools {

// COM1 to COM16 and every mapped number: the device each names and whether it opens now.
// Each port is opened and closed again, as a scan would.
void listPorts();

} // namespace tools
