#include "tools/port_report.h"

#include <cstdio>
#include <cstring>
#include <set>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#endif

#include "link/comm.h"
#include "link/seams.h"

namespace tools {

namespace {

std::string groupOf(const std::string &device)
{
#ifdef _WIN32
    (void)device;
    return {};
#else
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return {};
    if (const group *g = ::getgrgid(st.st_gid))
        return g->gr_name;
    return std::to_string(st.st_gid);
#endif
}

bool isComName(const std::string &s, int *number)
{
    if (s.size() < 4 || s.size() > 9 || (s.compare(0, 3, "COM") != 0 && s.compare(0, 3, "com") != 0))
        return false;
    int n = 0;
    for (std::size_t i = 3; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        n = n * 10 + (s[i] - '0');
    }
    *number = n;
    return n > 0;
}

// The number no table and no administrator is likely to use, for a device named by its path.
constexpr int kOwnNumber = 1000000;

} // namespace

int portNumberFor(const std::string &port)
{
    int number = 0;
    if (isComName(port, &number))
        return number;
    for (int n = 1; n <= 16; ++n)
        if (serial::resolvePort(n) == port)
            return n;
    auto map = serial::portMap();
    for (const auto &[n, device] : map)
        if (device == port)
            return n;
    map[kOwnNumber] = port;
    serial::setPortMap(map);
    return kOwnNumber;
}

std::string openFailureText(const std::string &port, const std::string &device)
{
    const serial::OpenResult r = serial::lastOpenResult();
    switch (r.failure) {
    case serial::OpenFailure::NoDevice:
        return port + " names no device (add " + port + "=/dev/... to the [Ports] group of VOREX/ports.conf)";
    case serial::OpenFailure::Missing:
        return device + ": no such device (cable unplugged or wrong port?)";
    case serial::OpenFailure::Busy:
        return device + ": busy, another program holds the port";
    case serial::OpenFailure::Permission: {
        const std::string group = groupOf(device);
        return device + ": permission denied" +
               (group.empty() ? std::string()
                              : " (the device belongs to group '" + group + "'; join it: sudo usermod -aG " + group
                                    + " $USER, then log in again)");
    }
    default:
        return device + ": cannot open: " + std::strerror(r.error);
    }
}

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
        if (OpenComm(n, "19200,e,8,1")) {
            CloseComm();
            state = "free";
        } else if (serial::lastOpenResult().failure == serial::OpenFailure::Missing) {
            state = "missing";
        } else {
            state = openFailureText(port, device);
            // The listing already names the device.
            if (state.compare(0, device.size() + 2, device + ": ") == 0)
                state.erase(0, device.size() + 2);
        }
        std::printf("%-6s %-40s %s\n", port.c_str(), device.c_str(), state.c_str());
    }
}

} // namespace tools
