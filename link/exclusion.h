#pragma once
// Devices that are never opened: the entries of Exclude= in the [Ports] group of ports.conf.
// A line keeps equipment on its serial ports that must not be probed (a UPS whose line speed
// drops, a relay board that toggles on any byte), so every open of a port by number or path
// asks here first, and an excluded device is refused before anything touches it.
//
//   Exclude=/dev/ttyS0, usb:0403:6015, serial:A10K3X7B, by-path:pci-0000:00:14.0-usb-0:2:1.0-port0

#include <optional>
#include <string>
#include <vector>

#include "device_identity.h"

namespace serial {

struct ExclusionRule {
    // Device: a device path, matching every name of that device; Usb: a USB adapter's vendor and
    // product; Serial: a USB adapter's serial number; ByPath: a /dev/serial/by-path name.
    enum class Kind { Device, Usb, Serial, ByPath };
    Kind kind = Kind::Device;
    std::string value;   // the path, "0403:6015" (lower case), the serial number, the by-path name
    std::string text;    // the entry as written, for people
};

// An entry of Exclude= read as a rule; nothing when it is none of the four forms.
std::optional<ExclusionRule> parseExclusion(const std::string &entry);

// The rules in force, from the port map's files; read from any thread once set.
void setExclusions(std::vector<ExclusionRule> rules);
const std::vector<ExclusionRule> &exclusions();

// The first of rules that names device; nothing when none does. The USB facts and the by-path
// names are looked up under roots only when a rule needs them.
std::optional<ExclusionRule> matchingRule(const std::vector<ExclusionRule> &rules, const std::string &device,
                                          const FileRoots &roots = {});
// Of the rules in force.
std::optional<ExclusionRule> exclusionOf(const std::string &device);

} // namespace serial
