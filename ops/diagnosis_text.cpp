// The words of a diagnosis: what a port heard, and what to do about it.

#include "ops/diagnosis.h"

#include <QStringList>

#include "link/commands.h"
#include "link/link.h"
#include "link/seams.h"
#include "ops/port_messages.h"
#include "ops/visible_text.h"

namespace ops {

namespace {

QString lineOf(int index)
{
    return index >= 0 && index < kBaudRateCount ? QString::fromLatin1(BaudRateList[std::size_t(index)]) : QString();
}

// "4800,n,8,1, 4800,e,8,1 and 9600,n,8,1"; past three, how many more.
QString linesOf(const std::vector<int> &indexes)
{
    QStringList shown;
    for (std::size_t i = 0; i < indexes.size() && i < 3; ++i)
        shown << lineOf(indexes[i]);
    if (indexes.size() > 3)
        return shown.join(QStringLiteral(", ")) + QStringLiteral(" and %1 more").arg(indexes.size() - 3);
    if (shown.size() > 1)
        return QStringList(shown.mid(0, shown.size() - 1)).join(QStringLiteral(", ")) + QStringLiteral(" and ")
               + shown.last();
    return shown.join(QString());
}

QString hexOf(const std::string &bytes)
{
    QStringList out;
    for (unsigned char b : bytes)
        out << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return out.join(u' ');
}

// What the kernel counted, never guessed: nothing where the driver does not count.
QString countsText(const PortDiagnosis &d, bool evenNone)
{
    if (!d.errors || (!evenNone && d.errors->framing == 0 && d.errors->parity == 0))
        return {};
    return QStringLiteral("; the kernel counted %1 framing and %2 parity errors")
        .arg(d.errors->framing)
        .arg(d.errors->parity);
}

QString garbageText(const PortDiagnosis &d)
{
    const QString where = QStringLiteral(" at ") + linesOf(d.garbageAt);
    if (d.replyLength > 0)
        return QStringLiteral("a reply of %1 bytes, not the module's info reply of %2,")
                   .arg(d.replyLength)
                   .arg(cmd::kInfoReplyLength)
               + where + QStringLiteral(" (") + hexOf(d.garbage) + QStringLiteral(")") + countsText(d, true);
    return QStringLiteral("bytes that are no frames came back") + where + QStringLiteral(" (") + hexOf(d.garbage)
           + QStringLiteral(")") + countsText(d, true);
}

QString lateText(const PortDiagnosis &d)
{
    const QString at = QStringLiteral(" at ") + lineOf(d.lineIndex);
    if (d.lateMs < 0)
        return QStringLiteral("a reply came%1 more than %2 ms after its frame, when the next frame was on its way")
            .arg(at)
            .arg(kListenMs);
    return QStringLiteral("a reply came%1 %2 ms after its frame, %3 ms after the %4 ms reply window had closed")
        .arg(at)
        .arg(d.lateMs)
        .arg(d.lateMs - int(kReplyWindowMs))
        .arg(kReplyWindowMs);
}

QString moduleText(const PortDiagnosis &d)
{
    return QStringLiteral("the module answered at %1: S/N %2, ID %3")
        .arg(lineOf(d.lineIndex), visibleText(QString::fromLatin1(cmd::infoSerial(d.infoReply))),
             visibleText(QString::fromLatin1(cmd::infoId(d.infoReply))));
}

QString heardOnTheLine(const PortDiagnosis &d)
{
    switch (d.finding) {
    case Finding::Module:
        return moduleText(d) + countsText(d, false);
    case Finding::Silence:
        return QStringLiteral("nothing came back at any of the %1 line settings").arg(d.tried) + countsText(d, false);
    case Finding::Garbage:
        return garbageText(d);
    case Finding::Echo:
        return QStringLiteral("the frame sent came back as it went out, at %1").arg(lineOf(d.lineIndex));
    case Finding::Checksum:
        return QStringLiteral("replies came with a wrong checksum at %1").arg(lineOf(d.lineIndex)) + countsText(d, false);
    case Finding::Late:
        return lateText(d) + countsText(d, false);
    default:
        break;
    }
    return {};
}

QString lateAdvice(const PortDiagnosis &d)
{
    if (d.open.latencyTimerMs > 0 && !d.open.latencyLowered)
        return slowLatencyText(d.device, d.open.latencyTimerMs);
    return QStringLiteral("something on the way holds the reply back (a converter; an FTDI lead's latency timer,"
                          " which telmax-cmd --ports shows), or the module answers too slowly");
}

QString busyAdvice(const PortDiagnosis &d, const std::string &vendorProduct)
{
    const serial::LockFile &lock = d.open.lock;
    if (lock.state == serial::LockFile::State::Live)
        return QStringLiteral("close %1 (pid %2), then try again")
            .arg(lock.holder.name.empty() ? QStringLiteral("the program") : visibleBytes(lock.holder.name))
            .arg(lock.holder.pid);
    for (const serial::Holder &h : d.open.holders)
        if (h.name == "ModemManager" && vendorProduct.find(':') != std::string::npos) {
            const std::size_t colon = vendorProduct.find(':');
            return modemManagerRule(vendorProduct.substr(0, colon), vendorProduct.substr(colon + 1));
        }
    return QStringLiteral("close the program that holds the port, then try again");
}

} // namespace

QString findingWord(Finding finding)
{
    switch (finding) {
    case Finding::Module:
        return QStringLiteral("module");
    case Finding::Silence:
        return QStringLiteral("silence");
    case Finding::Garbage:
        return QStringLiteral("garbage");
    case Finding::Echo:
        return QStringLiteral("echo");
    case Finding::Checksum:
        return QStringLiteral("checksum");
    case Finding::Late:
        return QStringLiteral("late");
    case Finding::Busy:
        return QStringLiteral("busy");
    case Finding::Missing:
        return QStringLiteral("missing");
    case Finding::Denied:
        return QStringLiteral("denied");
    case Finding::Excluded:
        return QStringLiteral("excluded");
    }
    return {};
}

QString heardText(const PortDiagnosis &d)
{
    const QString same = d.sameAs ? QStringLiteral("the same device as ") + visibleBytes(serial::portLabel(d.sameAs))
                                        + QStringLiteral(": ")
                                  : QString();
    if (d.wentAway)
        return same + wentAwayText(d.device);
    if (d.open.failure != serial::OpenFailure::None)
        return same + openFailureReason(serial::portLabel(d.port), d.open);
    const QString note = lockFileNote(d.open.lock);
    return same + heardOnTheLine(d) + (note.isEmpty() ? QString() : QStringLiteral("; ") + note);
}

QString adviceText(const PortDiagnosis &d, const std::string &vendorProduct)
{
    if (d.wentAway)
        return QStringLiteral("plug the lead in again, firmly, and see that nothing else claims it");
    const int slow = slowLatencyMs(d.open, lineOf(d.lineIndex).toStdString());
    switch (d.finding) {
    case Finding::Module:
        return slow > 0 ? slowLatencyText(d.device, slow)
                        : QStringLiteral("scan finds it there: telmax-cmd scan --no-lock");
    case Finding::Silence:
        return QStringLiteral("check that the module is powered and the lead reaches it, and that TX and RX are not"
                              " swapped (a null-modem lead or adapter swaps them)");
    case Finding::Garbage:
        return QStringLiteral("another device is on this port, or one at a line setting the module does not use:"
                              " check what the lead is plugged into");
    case Finding::Echo:
        return QStringLiteral("a loopback plug, or an RS-485 adapter that echoes what it sends: check the wiring and"
                              " turn the adapter's echo off");
    case Finding::Checksum:
        return QStringLiteral("noise on the line: check the cable (shorter, shielded) and its ground, or give the"
                              " module a lower line speed");
    case Finding::Late:
        return lateAdvice(d);
    case Finding::Busy:
        return busyAdvice(d, vendorProduct);
    case Finding::Missing:
        return QStringLiteral("plug the lead in, or name the port it is on (telmax-cmd --ports lists them)");
    case Finding::Denied:
        return deniedAdvice(d.open);
    case Finding::Excluded:
        return QStringLiteral("VOREX/ports.conf keeps this device out (Exclude=); name another port");
    }
    return {};
}

} // namespace ops
