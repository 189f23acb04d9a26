#include "tools/device_identity.h"

#include <map>

namespace tools {

std::string describe(const DeviceIdentity &id)
{
    std::string out = id.driver.empty() ? std::string("unknown driver") : id.driver;
    if (!id.present)
        return out + ", no UART at this port";
    if (!id.vendorId.empty()) {
        out += "  USB " + id.vendorId + ":" + id.productId;
        std::string maker = id.manufacturer;
        if (!id.product.empty())
            maker += (maker.empty() ? "" : " / ") + id.product;
        if (!maker.empty())
            out += "  " + maker;
        if (!id.serial.empty())
            out += "  serial " + id.serial;
    }
    if (!id.latencyTimer.empty())
        out += "  latency timer " + id.latencyTimer + " ms";
    return out;
}

std::vector<std::string> lookAlikeWarnings(const std::vector<DeviceIdentity> &devices)
{
    std::map<std::string, std::vector<const DeviceIdentity *>> groups;
    for (const DeviceIdentity &d : devices)
        if (!d.vendorId.empty())
            groups[d.vendorId + ":" + d.productId + "\n" + d.serial].push_back(&d);
    std::vector<std::string> warnings;
    for (const auto &[identity, group] : groups) {
        if (group.size() < 2)
            continue;
        std::string names = group[0]->name;
        for (std::size_t i = 1; i < group.size(); ++i)
            names += (i + 1 == group.size() ? " and " : ", ") + group[i]->name;
        const DeviceIdentity &d = *group[0];
        warnings.push_back(names + " look alike (USB " + d.vendorId + ":" + d.productId + ", "
                           + (d.serial.empty() ? "no serial number" : "serial " + d.serial)
                           + "): /dev/serial/by-id names only one of them; map them in ports.conf by their"
                             " /dev/serial/by-path names");
    }
    return warnings;
}

} // namespace tools
