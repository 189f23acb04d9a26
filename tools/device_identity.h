#pragma once
// Who is behind a serial device, worded for a technician; the facts come from the link
// (link/device_identity.h), under the names the tools have always used.

#include <string>
#include <vector>

#include "link/device_identity.h"

namespace tools {

using serial::DeviceIdentity;
using serial::FileRoots;
using serial::identifyTty;
using serial::serialDevices;
using serial::ttyNameOf;

// One line for a technician, e.g.
//   ftdi_sio  USB 0403:6001  FTDI / FT232R USB UART  serial A10K3X7B  latency timer 16 ms
//   8250, no UART at this port
std::string describe(const DeviceIdentity &identity);

// The USB adapters among devices that udev cannot tell apart (the same vendor, product and
// serial number; cheap adapters have none): /dev/serial/by-id names only one of each group,
// and which one may change at the next plug-in. One warning line for each such group, e.g.
//   ttyUSB1 and ttyUSB2 look alike (USB 1a86:7523, no serial number): /dev/serial/by-id names
//   only one of them; map them in ports.conf by their /dev/serial/by-path names
std::vector<std::string> lookAlikeWarnings(const std::vector<DeviceIdentity> &devices);

} // namespace tools
