#include "ops/port_messages.h"

#include <QStringList>
#include <cstring>

#include "link/commands.h"
#include "link/seams.h"
#include "ops/visible_text.h"

namespace ops {

namespace {

QString shown(const std::string &bytes) { return visibleBytes(bytes); }

QString holdersText(const std::vector<serial::Holder> &holders)
{
    QStringList out;
    for (const serial::Holder &h : holders)
        out << (h.name.empty() ? QStringLiteral("?") : shown(h.name)) + QStringLiteral(" (pid %1)").arg(h.pid);
    return out.join(QStringLiteral(", "));
}

QString busyReason(const serial::OpenResult &r)
{
    const QString holders = holdersText(r.holders);
    if (r.exclusiveLeftBy > 0)
        return QStringLiteral("busy: an earlier run of this program (pid %1) was killed before it could put the port"
                              " back; its exclusive mode stays until %2 closes the port")
            .arg(QString::number(r.exclusiveLeftBy), holders.isEmpty() ? QStringLiteral("every program") : holders);
    const QString ignored = r.ignoredMarker.empty() ? QString()
        : QStringLiteral("; ") + shown(r.ignoredMarker)
              + QStringLiteral(" was ignored: not a regular file of root's or of this user's");
    return QStringLiteral("busy, another program holds the port")
           + (holders.isEmpty() ? QString() : QStringLiteral(" (") + holders + QStringLiteral(")")) + ignored;
}

QString deniedReason(const serial::OpenResult &r)
{
    if (r.group.empty())
        return QStringLiteral("permission denied (ask the administrator for access to the device)");
    const QString group = shown(r.group);
    return QStringLiteral("permission denied (the device belongs to group '%1'; join it: sudo usermod -aG %1 $USER,"
                          " then log in again)")
        .arg(group);
}

} // namespace

QString openFailureReason(const std::string &port, const serial::OpenResult &r)
{
    switch (r.failure) {
    case serial::OpenFailure::None:
        return QStringLiteral("open");
    case serial::OpenFailure::NoDevice:
        return QStringLiteral("%1 names no device (add %1=/dev/... to the [Ports] group of VOREX/ports.conf)")
            .arg(shown(port));
    case serial::OpenFailure::Missing:
        return QStringLiteral("no such device (cable unplugged or wrong port?)");
    case serial::OpenFailure::Busy:
        return busyReason(r);
    case serial::OpenFailure::Permission:
        return deniedReason(r);
    case serial::OpenFailure::NotSerial:
        return QStringLiteral("not a serial line (the console, a terminal or a file; name the port the module is on)");
    case serial::OpenFailure::Excluded:
        return QStringLiteral("excluded by Exclude=%1 in VOREX/ports.conf: never opened").arg(shown(r.excludedBy));
    case serial::OpenFailure::Other:
        break;
    }
    return QStringLiteral("cannot open: ") + QString::fromLocal8Bit(std::strerror(r.error));
}

QString openFailureText(const std::string &port, const serial::OpenResult &r)
{
    const QString reason = openFailureReason(port, r);
    return r.failure == serial::OpenFailure::NoDevice ? reason : shown(r.device) + QStringLiteral(": ") + reason;
}

QString wentAwayText(const std::string &device)
{
    return shown(device) + QStringLiteral(": went away while in use (unplugged, or the other side of the line closed)");
}

QString portSearchLine(const PortSearch &p)
{
    const QString port = shown(serial::portLabel(p.port));
    const QString device = p.device.empty() ? QString() : QStringLiteral(" ") + shown(p.device);
    const QString where = port + device + QStringLiteral(": ");
    const QString line = p.index >= 0 ? QString::fromLatin1(BaudRateList[std::size_t(p.index)]) : QString();
    switch (p.end) {
    case PortSearch::End::Answered:
        return where + QStringLiteral("the module answered at ") + line;
    case PortSearch::End::Silent:
        return where + QStringLiteral("no answer at ")
               + (p.tried == 1 ? line : QStringLiteral("%1 line settings").arg(p.tried));
    case PortSearch::End::Stopped:
        return where + QStringLiteral("stopped: a lower port answered");
    case PortSearch::End::SameDevice:
        return where + QStringLiteral("the same device as ") + shown(serial::portLabel(p.sameAs));
    case PortSearch::End::WentAway:
        return port + QStringLiteral(" ") + wentAwayText(p.device);
    case PortSearch::End::NotOpened:
        break;
    }
    if (p.open.failure == serial::OpenFailure::Missing)
        return where + QStringLiteral("missing");
    return where + openFailureReason(serial::portLabel(p.port), p.open);
}

} // namespace ops
