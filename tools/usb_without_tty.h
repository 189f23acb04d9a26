#pragma once
// USB serial leads that are plugged in but have no tty: another program claimed the USB interface
// before the serial driver could (on Ubuntu-like systems brltty takes CH340, CP210x and FTDI
// leads for braille displays), or no driver has taken it. Found from sysfs (/sys/bus/usb/devices)
// and /proc, under roots a test can point at a small tree of its own. Nothing on machines without
// sysfs.

#include <string>
#include <vector>

#include "link/port_backend.h"
#include "tools/device_identity.h"

namespace tools {

struct LeadWithoutTty {
    std::string usbName;        // the USB device's name in sysfs, e.g. 1-3
    std::string vendorId;       // e.g. 1a86
    std::string productId;      // e.g. 7523
    std::string manufacturer;
    std::string product;
    std::string serialDriver;   // the driver that makes a tty of it: ch341, cp210x, ftdi_sio, pl2303, cdc_acm
    std::string claimedBy;      // the interface's driver now: usbfs (a program has it), or empty (nothing has)
    std::vector<serial::Holder> holders;   // the programs that have the USB device open
    bool brlttyRunning = false;
};

// Every USB interface of a known serial lead with no tty under it, in sysfs order.
std::vector<LeadWithoutTty> leadsWithoutTty(const FileRoots &roots = {});

// "USB 1a86:7523 (QinHeng / USB Serial) at 1-3".
std::string describe(const LeadWithoutTty &lead);

} // namespace tools
