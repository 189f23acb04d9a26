#pragma once
// What a technician is told about a port, in telmax-cmd's words (stderr, --ports) and the scan's
// notes: why it did not open and what to do, that it went away, what became of it in a search
// side by side. The facts come from the link as values (serial::OpenResult, PortSearch); device
// paths and process names in them are shown with their control characters visible.

#include <QString>
#include <string>

#include "link/port_backend.h"
#include "ops/side_by_side.h"

namespace ops {

// Why port (COMn or a device path, as the user named it) did not open, after its device:
// "busy, another program holds the port (minicom (pid 812))". A port that names no device has
// no device to come after: its whole line ("COM40 names no device (add ...)").
QString openFailureReason(const std::string &port, const serial::OpenResult &result);
// The device and the reason, one line: "/dev/ttyUSB0: no such device (cable unplugged or wrong
// port?)"; a port that names no device as above.
QString openFailureText(const std::string &port, const serial::OpenResult &result);
// A port that hung up while the program used it (serial::Link::wentAway).
QString wentAwayText(const std::string &device);
// One line for a port of the side-by-side search as it ends: "COM5 /dev/ttyUSB0: no answer at
// 19200,e,8,1".
QString portSearchLine(const PortSearch &search);

} // namespace ops
