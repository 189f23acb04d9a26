#include "ops/port_messages.h"

#include <QStringList>
#include <algorithm>
#include <cstring>

#include "link/commands.h"
#include "link/line_settings.h"
#include "link/link.h"
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

// A live lock file of the old convention names the holder whether or not it has the device open.
QString lockHolder(const serial::LockFile &lock)
{
    const QString name = lock.holder.name.empty() ? QStringLiteral("a program") : shown(lock.holder.name);
    return QStringLiteral("busy: %1 (pid %2) holds the port (its lock file %3)")
        .arg(name, QString::number(lock.holder.pid), shown(lock.path));
}

bool heldByModemManager(const serial::OpenResult &r)
{
    for (const serial::Holder &h : r.holders)
        if (h.name == "ModemManager")
            return true;
    return false;
}

QString busyReason(const serial::OpenResult &r)
{
    if (r.lock.state == serial::LockFile::State::Live)
        return lockHolder(r.lock);
    const QString holders = holdersText(r.holders);
    if (r.exclusiveLeftBy > 0)
        return QStringLiteral("busy: an earlier run of this program (pid %1) was killed before it could put the port"
                              " back; its exclusive mode stays until %2 closes the port")
            .arg(QString::number(r.exclusiveLeftBy), holders.isEmpty() ? QStringLiteral("every program") : holders);
    const QString ignored = r.ignoredMarker.empty() ? QString()
        : QStringLiteral("; ") + shown(r.ignoredMarker)
              + QStringLiteral(" was ignored: not a regular file of root's or of this user's");
    // ModemManager opens modem-like devices to probe them, and lets go after a while.
    const QString probing = heldByModemManager(r)
        ? QStringLiteral("; ModemManager probes it (telmax-cmd --ports gives the udev rule that keeps it away)")
        : QString();
    return QStringLiteral("busy, another program holds the port")
           + (holders.isEmpty() ? QString() : QStringLiteral(" (") + holders + QStringLiteral(")")) + ignored
           + probing;
}

QString deniedReason(const serial::OpenResult &r)
{
    return QStringLiteral("permission denied (") + deniedAdvice(r) + QStringLiteral(")");
}

} // namespace

QString deniedAdvice(const serial::OpenResult &r)
{
    if (r.group.empty())
        return QStringLiteral("ask the administrator for access to the device");
    const QString group = shown(r.group);
    // A group given since the session began counts only from the next login.
    if (r.groupPending)
        return QStringLiteral("you were added to group %1; log out and in again (or run `newgrp %1`)").arg(group);
    return QStringLiteral("the device belongs to group '%1'; join it: sudo usermod -aG %1 $USER, then log in again")
        .arg(group);
}

QString lockFileNote(const serial::LockFile &lock)
{
    switch (lock.state) {
    case serial::LockFile::State::Stale:
        return QStringLiteral("the stale lock file %1 of pid %2, which has ended, was ignored")
            .arg(shown(lock.path), QString::number(lock.holder.pid));
    case serial::LockFile::State::NotBelieved:
        return QStringLiteral("%1 was ignored: not a lock file (a regular file with a process id)").arg(shown(lock.path));
    case serial::LockFile::State::None:
    case serial::LockFile::State::Live:
        break;
    }
    return {};
}

QString modemManagerRule(const std::string &vendorId, const std::string &productId)
{
    // Before ModemManager's own rules (77-mm-*, 80-mm-candidate), which read the mark.
    return QStringLiteral("ModemManager probes this device; to keep it away: echo 'ATTRS{idVendor}==\"%1\","
                          " ATTRS{idProduct}==\"%2\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"' | sudo tee"
                          " /etc/udev/rules.d/70-telmax-mm-ignore.rules; sudo udevadm control --reload;"
                          " then plug the lead in again")
        .arg(shown(vendorId), shown(productId));
}

QString slowLatencyText(const std::string &device, int timerMs)
{
    const std::string name = device.substr(device.rfind('/') + 1);
    return QStringLiteral("%1: the FTDI lead's latency timer is %2 ms and its driver did not lower it, which leaves"
                          " the module's reply too little of the 120 ms window; lower it: echo 1 | sudo tee"
                          " /sys/bus/usb-serial/devices/%3/latency_timer")
        .arg(shown(device), QString::number(timerMs), shown(name));
}

int slowLatencyMs(const serial::OpenResult &open, const std::string &line)
{
    if (open.latencyTimerMs <= 0 || open.latencyLowered)
        return 0;
    // What the window leaves: the reply's own time on the line taken off.
    const auto settings = serial::parseLineSettings(line);
    const int bits = settings ? 1 + settings->dataBits + (settings->parity == 'n' ? 0 : 1) + settings->stopBits : 11;
    const int baud = settings ? settings->baud : 4800;
    const int wireMs = (cmd::kInfoReplyLength * bits * 1000 + baud - 1) / baud;
    return open.latencyTimerMs > int(kReplyWindowMs) - wireMs ? open.latencyTimerMs : 0;
}

QString leadWithoutTtyText(const std::string &serialDriver, const std::string &claimedBy,
                           const std::vector<serial::Holder> &holders, bool brlttyRunning)
{
    const bool brltty = std::any_of(holders.begin(), holders.end(), [](const serial::Holder &h) { return h.name == "brltty"; });
    if (brltty || (claimedBy == "usbfs" && holders.empty() && brlttyRunning))
        return QStringLiteral("no tty: %1 has claimed it for a braille display. On a machine without one: sudo"
                              " systemctl mask brltty.path brltty-udev.service (or sudo apt remove brltty), then"
                              " plug the lead in again")
            .arg(brltty ? holdersText(holders) : QStringLiteral("brltty"));
    if (!holders.empty())
        return QStringLiteral("no tty: %1 has claimed it; close it, then plug the lead in again").arg(holdersText(holders));
    if (claimedBy == "usbfs")
        return QStringLiteral("no tty: a program has claimed it; close it, then plug the lead in again");
    if (claimedBy.empty())
        return QStringLiteral("no tty: no driver has taken it; load one (sudo modprobe %1) or plug the lead in again")
            .arg(shown(serialDriver));
    return QStringLiteral("no tty: the driver %1 has taken it instead of %2").arg(shown(claimedBy), shown(serialDriver));
}

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
