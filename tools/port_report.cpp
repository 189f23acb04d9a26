#include "tools/port_report.h"

#include <cstdio>
#include <filesystem>
#include <set>

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "link/comm.h"
#include "link/commands.h"
#include "link/seams.h"
#include "ops/port_messages.h"
#include "ops/visible_text.h"
#include "tools/output.h"
#include "tools/port_map_line.h"
#include "tools/usb_without_tty.h"

namespace tools {

namespace {

// A number the administrator can give a device no COMn reaches: within the search's COM1-COM16
// where one is unused (not in the port map, its table device absent or without a UART), from
// COM16 down, so the numbers of the adapters most often plugged in (ttyUSB0, ttyUSB1) stay
// theirs; else the first from COM17 up that nothing uses.
int freeNumber(const std::set<int> &taken, const FileRoots &roots)
{
    for (int n = 16; n >= 1; --n) {
        if (taken.count(n) || serial::portMap().count(n))
            continue;
        const std::string name = ttyNameOf(serial::resolvePort(n));
        const auto id = name.empty() ? std::nullopt : identifyTty(name, roots);
        if (name.empty() || (id && !id->present))
            return n;
    }
    int n = 17;
    while (taken.count(n) || serial::portMap().count(n))
        ++n;
    return n;
}

QString utf8(const std::string &s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Text from ports.conf, sysfs or a process name as the listing shows it: a newline in a mapped
// device path would otherwise print a line of its own, one that looks like a port.
std::string shown(const std::string &text)
{
    return local(ops::visibleBytes(text));
}

void addIdentity(QJsonObject &o, const DeviceIdentity &id)
{
    o.insert(QStringLiteral("driver"), utf8(id.driver));
    o.insert(QStringLiteral("present"), id.present);
    const std::pair<const char *, const std::string *> fields[] = {
        {"vendorId", &id.vendorId}, {"productId", &id.productId}, {"manufacturer", &id.manufacturer},
        {"product", &id.product},   {"serial", &id.serial},       {"byId", &id.byId},
        {"byPath", &id.byPath},
    };
    for (const auto &[name, value] : fields)
        if (!value->empty())
            o.insert(QLatin1String(name), utf8(*value));
    if (!id.latencyTimer.empty())
        o.insert(QStringLiteral("latencyTimer"), QString::fromStdString(id.latencyTimer).toInt());
}

void printJson(const QJsonObject &o)
{
    std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
}

// Whether the port opens now, as the listing says it, with what the open did not obey and, for a
// port ModemManager holds, the rule that keeps it away.
QString stateOf(int n, const std::optional<DeviceIdentity> &id, bool &opens)
{
    const serial::OpenResult r = serial::defaultLink.open(n, BaudRateList[kDefaultBaudRateNo]);
    opens = r.opened();
    if (opens) {
        CloseComm();
        const QString note = ops::lockFileNote(r.lock);
        return QStringLiteral("free") + (note.isEmpty() ? QString() : QStringLiteral("; ") + note);
    }
    if (r.failure == serial::OpenFailure::Missing)
        return QStringLiteral("missing");
    QString state = ops::openFailureReason(serial::portLabel(n), r);   // the listing names the device already
    for (const serial::Holder &h : r.holders)
        if (h.name == "ModemManager" && id && !id->vendorId.empty()) {
            state += QStringLiteral("; ") + ops::modemManagerRule(id->vendorId, id->productId);
            break;
        }
    return state;
}

// COM1 to COM16 and every mapped number; the kernel names they lead to go into reached.
void listMapped(bool json, const FileRoots &roots, std::set<std::string> &reached)
{
    std::set<int> numbers;
    for (int n = 1; n <= 16; ++n)
        numbers.insert(n);
    for (const auto &[n, device] : serial::portMap())
        numbers.insert(n);
    for (int n : numbers) {
        const std::string port = serial::portLabel(n);
        const std::string device = serial::resolvePort(n);
        const std::string name = ttyNameOf(device);
        const auto id = name.empty() ? std::nullopt : identifyTty(name, roots);
        bool opens = false;
        const QString state = stateOf(n, id, opens);
        if (!name.empty())
            reached.insert(name);
        if (json) {
            QJsonObject o;
            o.insert(QStringLiteral("port"), utf8(port));
            o.insert(QStringLiteral("device"), utf8(device));
            o.insert(QStringLiteral("opens"), opens);
            o.insert(QStringLiteral("state"), state);
            if (id)
                addIdentity(o, *id);
            printJson(o);
            continue;
        }
        std::printf("%-6s %-40s %s\n", port.c_str(), shown(device).c_str(), local(state).c_str());
        if (id) {
            std::printf("       %s\n", shown(describe(*id)).c_str());
            for (const std::string *stable : {&id->byId, &id->byPath})
                if (!stable->empty() && *stable != device)
                    std::printf("       %s\n", shown(*stable).c_str());
        }
    }
}

// The serial devices no COMn reaches, each with a port map line that would reach it.
void listUnreached(bool json, const FileRoots &roots, const std::set<std::string> &reached)
{
    std::set<int> suggested;
    bool headed = false;
    for (const DeviceIdentity &id : serialDevices(roots)) {
        if (reached.count(id.name))
            continue;
        const std::string device = (std::filesystem::path(roots.dev) / id.name).string();
        const int n = freeNumber(suggested, roots);
        suggested.insert(n);
        const std::string line = portMapLine(n, id.byId.empty() ? device : id.byId);
        if (json) {
            QJsonObject o;
            o.insert(QStringLiteral("device"), utf8(device));
            o.insert(QStringLiteral("unmapped"), true);
            o.insert(QStringLiteral("add"), utf8(line));
            addIdentity(o, id);
            printJson(o);
            continue;
        }
        if (!headed) {
            std::printf("Serial devices no COMn reaches (to use one, add its line to the [Ports] group of"
                        " VOREX/ports.conf):\n");
            headed = true;
        }
        std::printf("       %-40s %s\n", shown(device).c_str(), shown(describe(id)).c_str());
        std::printf("       %s%s\n", shown(line).c_str(),
                    n > 16 ? "   (scan searches COM1-COM16 only; use --port)" : "");
    }
}

// USB serial leads that are plugged in but have no tty, each with what holds it and the fix.
void listWithoutTty(bool json, const FileRoots &roots)
{
    bool headed = false;
    for (const LeadWithoutTty &lead : leadsWithoutTty(roots)) {
        const QString advice =
            ops::leadWithoutTtyText(lead.serialDriver, lead.claimedBy, lead.holders, lead.brlttyRunning);
        if (json) {
            QJsonObject o;
            o.insert(QStringLiteral("usb"), utf8(lead.usbName));
            o.insert(QStringLiteral("vendorId"), utf8(lead.vendorId));
            o.insert(QStringLiteral("productId"), utf8(lead.productId));
            o.insert(QStringLiteral("driver"), utf8(lead.serialDriver));
            o.insert(QStringLiteral("tty"), false);
            o.insert(QStringLiteral("advice"), advice);
            printJson(o);
            continue;
        }
        if (!headed) {
            std::printf("USB serial leads without a tty (no COMn can reach them):\n");
            headed = true;
        }
        std::printf("       %s  %s\n", shown(describe(lead)).c_str(), shown(lead.serialDriver).c_str());
        std::printf("       %s\n", local(advice).c_str());
    }
}

} // namespace

void listPorts(bool json, const FileRoots &roots)
{
    std::set<std::string> reached;
    listMapped(json, roots, reached);
    listUnreached(json, roots, reached);
    // Told on stderr, so that the listing stays one line (or object) per port.
    for (const std::string &warning : lookAlikeWarnings(serialDevices(roots)))
        tell(QStringLiteral("telmax-cmd: warning: ") + ops::visibleBytes(warning));
    listWithoutTty(json, roots);
}

} // namespace tools
