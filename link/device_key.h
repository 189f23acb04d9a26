#pragma once
// Which device a name stands for, so that two names of one device (a link under
// /dev/serial/by-id and the kernel's name it leads to) are known to be one.

#include <string>

namespace serial {

// Equal for every name of the same device: the device numbers of a character device, the file
// of anything else; the name itself where nothing is found (Windows: the name, in any case).
std::string deviceKey(const std::string &device);

} // namespace serial
