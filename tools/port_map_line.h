#pragma once
// The ports.conf line that makes COMn name a device, as --ports suggests it for a device no COM
// number reaches. Plain C++.

#include <string>

namespace tools {

// "COM17=/dev/ttyUSB9"; the device in double quotes, with \\ for a backslash and \" for a quote,
// where the file would otherwise read it differently: ";" starts a comment, "," makes a list, a
// backslash starts an escape.
std::string portMapLine(int number, const std::string &device);

} // namespace tools
