#include "tools/port_report.h"

#include <cstdio>
#include <set>

#include "link/comm.h"
#include "link/commands.h"
#include "link/open_failure.h"
#include "link/seams.h"

namespace tools {

void listPorts()
{
    std::set<int> numbers;
    for (int n = 1; n <= 16; ++n)
        numbers.insert(n);
    for (const auto &[n, device] : serial::portMap())
        numbers.insert(n);
    for (int n : numbers) {
        const std::string port = "COM" + std::to_string(n);
        const std::string device = serial::resolvePort(n);
        std::string state;
        if (OpenComm(n, BaudRateList[kDefaultBaudRateNo])) {
            CloseComm();
            state = "free";
        } else if (serial::lastOpenResult().failure == serial::OpenFailure::Missing) {
            state = "missing";
        } else {
            state = serial::openFailureText(port, device, serial::lastOpenResult());
            // The listing already names the device.
            if (state.compare(0, device.size() + 2, device + ": ") == 0)
                state.erase(0, device.size() + 2);
        }
        std::printf("%-6s %-40s %s\n", port.c_str(), device.c_str(), state.c_str());
    }
}

} // namespace tools
