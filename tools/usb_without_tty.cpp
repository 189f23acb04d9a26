#include "tools/usb_without_tty.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace tools {

namespace fs = std::filesystem;

namespace {

// The leads whose vendor-specific interface a serial driver makes a tty of (product empty: every
// product of the vendor).
struct KnownLead {
    const char *vendor;
    const char *product;
    const char *driver;
};
constexpr KnownLead kKnownLeads[] = {
    {"0403", "", "ftdi_sio"},
    {"1a86", "7523", "ch341"},  {"1a86", "7522", "ch341"},  {"1a86", "5523", "ch341"},
    {"10c4", "ea60", "cp210x"}, {"10c4", "ea63", "cp210x"}, {"10c4", "ea70", "cp210x"}, {"10c4", "ea71", "cp210x"},
    {"067b", "2303", "pl2303"}, {"067b", "23a3", "pl2303"}, {"067b", "23c3", "pl2303"}, {"067b", "23d3", "pl2303"},
};

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

std::string linkName(const fs::path &link)
{
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

// The serial driver for an interface of the device at deviceDir; empty when none is known.
std::string serialDriverFor(const fs::path &interfaceDir, const fs::path &deviceDir)
{
    const std::string cls = attribute(interfaceDir / "bInterfaceClass");
    // A modem-class control interface: cdc_acm makes the tty (its data interface has none).
    if (cls == "02" && attribute(interfaceDir / "bInterfaceSubClass") == "02")
        return "cdc_acm";
    if (cls != "ff")
        return {};
    const std::string vendor = attribute(deviceDir / "idVendor"), product = attribute(deviceDir / "idProduct");
    for (const KnownLead &k : kKnownLeads)
        if (vendor == k.vendor && (!*k.product || product == k.product))
            return k.driver;
    return {};
}

bool hasTty(const fs::path &interfaceDir)
{
    std::error_code ec;
    for (fs::recursive_directory_iterator it(interfaceDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0)
            return true;
        if (it.depth() >= 2)
            it.disable_recursion_pending();
    }
    return false;
}

// The programs that have the USB device's node open (a program talks to a claimed interface
// through it), and whether brltty runs at all.
void programsOf(LeadWithoutTty &lead, const fs::path &deviceDir, const FileRoots &roots)
{
    char node[32];
    std::snprintf(node, sizeof node, "/bus/usb/%03d/%03d", std::atoi(attribute(deviceDir / "busnum").c_str()),
                  std::atoi(attribute(deviceDir / "devnum").c_str()));
    const fs::path wanted = fs::path(roots.dev + node);
    std::error_code ec;
    for (fs::directory_iterator p(roots.proc, ec), end; !ec && p != end; p.increment(ec)) {
        const std::string pid = p->path().filename().string();
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const std::string name = attribute(p->path() / "comm");
        lead.brlttyRunning = lead.brlttyRunning || name == "brltty";
        std::error_code fdEc;
        for (fs::directory_iterator fd(p->path() / "fd", fdEc), fdEnd; !fdEc && fd != fdEnd; fd.increment(fdEc)) {
            std::error_code linkEc;
            if (fs::read_symlink(fd->path(), linkEc) == wanted && !linkEc) {
                lead.holders.push_back({name, std::atoi(pid.c_str())});
                break;
            }
        }
    }
}

} // namespace

std::vector<LeadWithoutTty> leadsWithoutTty(const FileRoots &roots)
{
    std::vector<fs::path> interfaces;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(roots.sys) / "bus" / "usb" / "devices", ec), end; !ec && it != end;
         it.increment(ec))
        if (it->path().filename().string().find(':') != std::string::npos)
            interfaces.push_back(it->path());
    std::sort(interfaces.begin(), interfaces.end());

    std::vector<LeadWithoutTty> found;
    for (const fs::path &entry : interfaces) {
        std::error_code canonicalEc;
        const fs::path interfaceDir = fs::canonical(entry, canonicalEc);
        if (canonicalEc)
            continue;
        const fs::path deviceDir = interfaceDir.parent_path();
        LeadWithoutTty lead;
        lead.serialDriver = serialDriverFor(interfaceDir, deviceDir);
        if (lead.serialDriver.empty() || hasTty(interfaceDir))
            continue;
        lead.usbName = deviceDir.filename().string();
        lead.vendorId = attribute(deviceDir / "idVendor");
        lead.productId = attribute(deviceDir / "idProduct");
        lead.manufacturer = attribute(deviceDir / "manufacturer");
        lead.product = attribute(deviceDir / "product");
        lead.claimedBy = linkName(interfaceDir / "driver");
        programsOf(lead, deviceDir, roots);
        found.push_back(lead);
    }
    return found;
}

std::string describe(const LeadWithoutTty &lead)
{
    std::string maker = lead.manufacturer;
    if (!lead.product.empty())
        maker += (maker.empty() ? "" : " / ") + lead.product;
    return "USB " + lead.vendorId + ":" + lead.productId + (maker.empty() ? "" : " (" + maker + ")") + " at "
           + lead.usbName;
}

} // namespace tools
