#include "tools/port_map_line.h"

#include "link/seams.h"

namespace tools {

std::string portMapLine(int number, const std::string &device)
{
    const std::string key = serial::portLabel(number) + "=";
    if (device.find_first_of(";,\\\"") == std::string::npos)
        return key + device;
    std::string quoted = "\"";
    for (const char c : device) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    return key + quoted + "\"";
}

} // namespace tools
