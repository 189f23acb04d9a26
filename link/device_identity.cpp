#include "device_identity.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace serial {

namespace fs = std::filesystem;

namespace {

// A sysfs attribute as one line, without its newline; empty when it cannot be read.
std::string attribute(const fs::path &file)
{
    std::ifstream in(file);
    std::string text;
    if (!in || !std::getline(in, text))
        return {};
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// The last part of where a symbolic link points (a driver's or a module's name).
std::string linkName(const fs::path &link)
{
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

bool isUnder(const fs::path &path, const fs::path &root)
{
    const auto [r, p] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    return r == root.end();
}

// The driver as a technician knows it: the kernel module's name where sysfs gives one
// (ch341 rather than its port driver ch341-uart). The 8250 family's built-in drivers go by
// "serial8250" and "serial" (the PnP and PCI front ends), names that tell nobody it is a UART.
std::string driverLabel(const fs::path &deviceDir)
{
    std::string module = linkName(deviceDir / "driver" / "module");
    if (!module.empty())
        return module;
    const std::string driver = linkName(deviceDir / "driver");
    if (driver == "serial8250" || driver == "serial")
        return "8250";
    return driver;
}

// ttyS2 before ttyS10, and every ttyACM before every ttyS.
bool kernelOrder(const std::string &a, const std::string &b)
{
    const auto split = [](const std::string &s) {
        std::size_t i = s.size();
        while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9')
            --i;
        return std::pair<std::string, std::string>(s.substr(0, i), s.substr(i));
    };
    const auto [pa, na] = split(a);
    const auto [pb, nb] = split(b);
    if (pa != pb)
        return pa < pb;
    if (na.size() != nb.size())
        return na.size() < nb.size();
    return na < nb;
}

// udev's stable name in dir for the tty NAME; the first in order when several point at it.
std::string stableName(const fs::path &dir, const std::string &name)
{
    std::error_code ec;
    std::vector<std::string> links;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkEc;
        const fs::path target = fs::canonical(it->path(), linkEc);
        if (!linkEc && target.filename() == name)
            links.push_back(it->path().string());
    }
    return links.empty() ? std::string() : *std::min_element(links.begin(), links.end());
}

} // namespace

std::string ttyNameOf(const std::string &devicePath)
{
    std::error_code ec;
    const fs::path real = fs::canonical(devicePath, ec);
    return ec ? std::string() : real.filename().string();
}

std::optional<DeviceIdentity> identifyTty(const std::string &name, const FileRoots &roots)
{
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return std::nullopt;
    std::error_code ec;
    const fs::path classDir = fs::path(roots.sys) / "class" / "tty" / name;
    // Virtual terminals, ptys and the console have no device behind them.
    const fs::path deviceDir = fs::canonical(classDir / "device", ec);
    if (ec)
        return std::nullopt;

    // From kernel 6.5 a UART's tty hangs off a port and a controller of the "serial-base" bus,
    // whose driver is "port"; the hardware and its driver are above them.
    fs::path hardwareDir = deviceDir;
    for (int i = 0; i < 4 && linkName(hardwareDir / "subsystem") == "serial-base"; ++i)
        hardwareDir = hardwareDir.parent_path();

    DeviceIdentity id;
    id.name = name;
    id.driver = driverLabel(hardwareDir);
    // The serial core keeps a port for every UART address it was told of; type 0 is an
    // address where no UART answered, which opens with an I/O error.
    const std::string type = attribute(classDir / "type");
    id.present = type.empty() || type != "0";
    // ftdi_sio's, on the tty's own port device.
    id.latencyTimer = attribute(deviceDir / "latency_timer");

    // The identity is the USB device's, some levels above the interface the tty hangs off.
    const fs::path sysRoot = fs::canonical(roots.sys, ec);
    int levels = 0;
    for (fs::path dir = deviceDir; !ec && isUnder(dir, sysRoot) && dir != sysRoot && levels < 12;
         dir = dir.parent_path(), ++levels) {
        if (fs::exists(dir / "idVendor", ec)) {
            id.vendorId = attribute(dir / "idVendor");
            id.productId = attribute(dir / "idProduct");
            id.manufacturer = attribute(dir / "manufacturer");
            id.product = attribute(dir / "product");
            id.serial = attribute(dir / "serial");
            break;
        }
    }

    id.byId = stableName(fs::path(roots.dev) / "serial" / "by-id", name);
    id.byPath = stableName(fs::path(roots.dev) / "serial" / "by-path", name);
    return id;
}

std::vector<DeviceIdentity> serialDevices(const FileRoots &roots)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(roots.sys) / "class" / "tty", ec), end; !ec && it != end;
         it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end(), kernelOrder);

    std::vector<DeviceIdentity> found;
    for (const std::string &name : names)
        if (auto id = identifyTty(name, roots); id && id->present)
            found.push_back(*id);
    return found;
}

} // namespace serial
