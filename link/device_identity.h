#pragma once
// Who is behind a serial device: what the kernel's sysfs says about a tty (its driver and, for
// a USB adapter, the adapter's own identity) and the stable /dev/serial/by-id and by-path names
// that point at it. Only plain files are read, under two roots a test can point at a small tree
// of its own. Where there is no sysfs (Windows, macOS) nothing is found. The facts only; how
// they are worded for people is above the link (tools/device_identity.h).

#include <optional>
#include <string>
#include <vector>

namespace serial {

struct FileRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
    std::string proc = "/proc";
};

struct DeviceIdentity {
    std::string name;          // the kernel's name: ttyS1, ttyUSB0, ttyACM0
    std::string driver;        // 8250, ftdi_sio, pl2303, ch341, cp210x, cdc_acm, ...
    bool present = true;       // false: a UART port the kernel keeps with no UART behind it
    std::string vendorId;      // the USB device's, e.g. 0403; empty for other buses
    std::string productId;     // e.g. 6001
    std::string manufacturer;
    std::string product;
    std::string serial;        // the adapter's serial number
    std::string byId;          // <dev>/serial/by-id/... when one points at this device
    std::string byPath;        // <dev>/serial/by-path/...: the USB socket or bus address
    std::string latencyTimer;  // an FTDI lead's latency timer in ms, as sysfs gives it; empty for others
};

// The kernel name of the device a path leads to, following symbolic links (by-id names, the
// port map's own links); empty when the path leads to nothing.
std::string ttyNameOf(const std::string &devicePath);

// What sysfs says about the tty NAME; nullopt when no hardware is behind that name (a pty, a
// virtual console, a name the kernel does not have).
std::optional<DeviceIdentity> identifyTty(const std::string &name, const FileRoots &roots = {});

// Every serial tty with hardware behind it, in the kernel's order of names (ttyS2 before
// ttyS10); UART ports without a UART are left out.
std::vector<DeviceIdentity> serialDevices(const FileRoots &roots = {});


} // namespace serial
