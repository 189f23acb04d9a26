#include "open_failure.h"

#include <cstring>

namespace serial {

std::string openFailureText(const std::string &port, const std::string &device, const OpenResult &r)
{
    switch (r.failure) {
    case OpenFailure::None:
        return device + ": open";
    case OpenFailure::NoDevice:
        return port + " names no device (add " + port + "=/dev/... to the [Ports] group of VOREX/ports.conf)";
    case OpenFailure::Missing:
        return device + ": no such device (cable unplugged or wrong port?)";
    case OpenFailure::Busy: {
        const std::string holders = holdersOf(device);
        const std::string ignored = r.ignoredMarker.empty() ? std::string()
            : "; " + r.ignoredMarker + " was ignored: not a regular file of root's or of this user's";
        if (r.exclusiveLeftBy > 0)
            return device + ": busy: an earlier run of this program (pid " + std::to_string(r.exclusiveLeftBy)
                   + ") was killed before it could put the port back; its exclusive mode stays until "
                   + (holders.empty() ? std::string("every program") : holders)
                   + " closes the port";
        return device + ": busy, another program holds the port" + (holders.empty() ? "" : " (" + holders + ")")
               + ignored;
    }
    case OpenFailure::Permission: {
        const std::string group = groupToJoin(device);
        return device + ": permission denied"
               + (group.empty() ? std::string(" (ask the administrator for access to the device)")
                                : " (the device belongs to group '" + group + "'; join it: sudo usermod -aG "
                                      + group + " $USER, then log in again)");
    }
    case OpenFailure::NotSerial:
        return device + ": not a serial line (the console, a terminal or a file; name the port the module is on)";
    case OpenFailure::Other:
        break;
    }
    return device + ": cannot open: " + std::strerror(r.error);
}

std::string wentAwayText(const std::string &device)
{
    return device + ": went away while in use (unplugged, or the other side of the line closed)";
}

} // namespace serial
