#include "seams.h"

#include "wire_text.h"
#include "platform/hooks.h"

namespace serial {

int PortBackend::readByteWithin(CommHandleType handle, unsigned char *byte, std::uint32_t ms)
{
    const std::uint32_t start = platform::NowMs();
    do {
        if (readByte(handle, byte) == 1)
            return 1;
    } while (platform::NowMs() - start < ms);
    return 0;
}

Seams &seams()
{
    static Seams current;
    return current;
}

PortBackend &backend()
{
    PortBackend *b = seams().backend;
    return b ? *b : nativeBackend();
}

SeamsGuard::SeamsGuard(const Seams &replacement)
    : m_saved(seams())
{
    if (replacement.backend)
        seams().backend = replacement.backend;
    if (replacement.resolver)
        seams().resolver = replacement.resolver;
}

SeamsGuard::~SeamsGuard() { seams() = m_saved; }

namespace {
std::map<int, std::string> &mapStorage()
{
    static std::map<int, std::string> m;
    return m;
}
} // namespace

void setPortMap(const std::map<int, std::string> &map) { mapStorage() = map; }
const std::map<int, std::string> &portMap() { return mapStorage(); }

std::string defaultPortDevice(int number)
{
#ifdef _WIN32
    if (number < 1)
        return {};
    return "\\\\.\\COM" + std::to_string(number);
#else
    if (number >= 1 && number <= 4)
        return "/dev/ttyS" + std::to_string(number - 1);
    if (number >= 5 && number <= 12)
        return "/dev/ttyUSB" + std::to_string(number - 5);
    if (number >= 13 && number <= 16)
        return "/dev/ttyACM" + std::to_string(number - 13);
    return {};
#endif
}

std::string resolvePort(int number)
{
    const auto &m = mapStorage();
    const auto it = m.find(number);
    if (it != m.end() && !it->second.empty())
        return it->second;
    return defaultPortDevice(number);
}

std::string deviceForPort(int number)
{
    const auto &r = seams().resolver;
    return r ? r(number) : resolvePort(number);
}

std::optional<int> comNumber(const std::string &name)
{
    if (name.size() < 4 || (name.compare(0, 3, "COM") != 0 && name.compare(0, 3, "com") != 0))
        return std::nullopt;
    const auto n = wire::decimal(std::string_view(name).substr(3), 6);
    if (!n || *n <= 0)
        return std::nullopt;
    return int(*n);
}

std::optional<int> numberOfDevice(const std::string &device)
{
    for (int n = 1; n <= 16; ++n)
        if (resolvePort(n) == device)
            return n;
    for (const auto &[n, mapped] : portMap())
        if (mapped == device)
            return n;
    return std::nullopt;
}

int portNumberFor(const std::string &port)
{
    if (const auto number = comNumber(port))
        return *number;
    if (const auto number = numberOfDevice(port))
        return *number;
    auto map = portMap();
    map[kDevicePathPort] = port;
    setPortMap(map);
    return kDevicePathPort;
}

std::string portLabel(int number)
{
    if (number == kDevicePathPort) {
        const std::string device = deviceForPort(number);
        if (!device.empty())
            return device;
    }
    return "COM" + std::to_string(number);
}

} // namespace serial
