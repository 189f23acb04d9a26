#pragma once
// What the link calls out to: the port backend and the COMn resolver.
// main() leaves the natives in place; tests swap them with SeamsGuard.

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "port_backend.h"

namespace serial {

using PortResolver = std::function<std::string(int number)>;

struct Seams {
    PortBackend *backend = nullptr;   // nullptr: nativeBackend()
    PortResolver resolver;            // empty: resolvePort()
};

Seams &seams();
PortBackend &backend();

// Replaces the members given for the lifetime of the guard.
class SeamsGuard {
public:
    explicit SeamsGuard(const Seams &replacement);
    ~SeamsGuard();
    SeamsGuard(const SeamsGuard &) = delete;
    SeamsGuard &operator=(const SeamsGuard &) = delete;

private:
    Seams m_saved;
};

// The device that "COM" + number stands for on this platform, before any port map:
// Windows \\.\COMn (the only form that reaches COM10 and up); Linux the fixed table
// COM1-4 /dev/ttyS0-3, COM5-12 /dev/ttyUSB0-7, COM13-16 /dev/ttyACM0-3.
// Empty when the number names no device.
std::string defaultPortDevice(int number);

// The map from the Ports group of VOREX/ports.conf (COMn = device path); it wins over the table.
void setPortMap(const std::map<int, std::string> &map);
const std::map<int, std::string> &portMap();

// Port map first, then the default table.
std::string resolvePort(int number);

// Through the installed resolver (what OpenComm uses).
std::string deviceForPort(int number);

// The number of "COMn" (either case), or nothing for any other text.
std::optional<int> comNumber(const std::string &name);

// The number that already names device: the lowest of COM1-COM16 that leads to it (port map or
// default table), else a number the port map gives it; nothing when none does.
std::optional<int> numberOfDevice(const std::string &device);

// The number a port named by the user stands for: COMn as it is; a device path under the number
// that already names it, else under kDevicePathPort, added to the port map.
inline constexpr int kDevicePathPort = 1000000;
int portNumberFor(const std::string &port);

// A port as people and records are shown it: "COM5" where the device has a COM number, else
// the device path of a port named by it (kDevicePathPort stands for no number of its own).
std::string portLabel(int number);

} // namespace serial
