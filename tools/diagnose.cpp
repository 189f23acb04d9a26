#include "tools/diagnose.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <set>
#include <vector>

#include "link/commands.h"
#include "link/seams.h"
#include "ops/diagnosis.h"
#include "ops/module_port.h"
#include "ops/port_messages.h"
#include "ops/visible_text.h"
#include "tools/device_identity.h"
#include "tools/output.h"
#include "tools/usb_without_tty.h"

namespace tools {

namespace {

// COM1 to COM16 and every number the port map gives, as --ports lists them.
std::vector<int> everyPort()
{
    std::set<int> numbers;
    for (int n = 1; n <= 16; ++n)
        numbers.insert(n);
    for (const auto &[n, device] : serial::portMap())
        numbers.insert(n);
    return {numbers.begin(), numbers.end()};
}

QString utf8(const std::string &s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// The line setting the finding names, where it names one.
QString lineOf(const ops::PortDiagnosis &d)
{
    const bool names = d.finding == ops::Finding::Module || d.finding == ops::Finding::Echo
                       || d.finding == ops::Finding::Checksum || d.finding == ops::Finding::Late
                       || d.finding == ops::Finding::Garbage;
    return names && d.lineIndex >= 0 ? QString::fromLatin1(BaudRateList[std::size_t(d.lineIndex)]) : QString();
}

// "0403:6001" of a USB lead, for the rule that keeps ModemManager away; empty for others.
std::string vendorProductOf(const std::string &device)
{
    const std::string name = ttyNameOf(device);
    const auto id = name.empty() ? std::nullopt : identifyTty(name);
    return id && !id->vendorId.empty() ? id->vendorId + ":" + id->productId : std::string();
}

bool writeJson(const QJsonObject &o)
{
    return results().write(QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString() + "\n");
}

void report(const ops::PortDiagnosis &d, bool json, bool everyPortListed)
{
    const std::string port = serial::portLabel(d.port);
    const QString word = ops::findingWord(d.finding);
    const QString line = lineOf(d);
    const QString heard = ops::heardText(d);
    const QString advice = ops::adviceText(d, d.finding == ops::Finding::Busy ? vendorProductOf(d.device) : "");
    if (json) {
        QJsonObject o;
        o.insert(QStringLiteral("port"), utf8(port));
        o.insert(QStringLiteral("device"), utf8(d.device));
        o.insert(QStringLiteral("finding"), word);
        if (!line.isEmpty())
            o.insert(QStringLiteral("line"), line);
        o.insert(QStringLiteral("heard"), heard);
        o.insert(QStringLiteral("advice"), advice);
        if (d.errors) {
            o.insert(QStringLiteral("framingErrors"), qint64(d.errors->framing));
            o.insert(QStringLiteral("parityErrors"), qint64(d.errors->parity));
        }
        if (d.finding == ops::Finding::Late && d.lateMs >= 0)
            o.insert(QStringLiteral("lateMs"), d.lateMs);
        writeJson(o);
        return;
    }
    std::string head = port;
    head.resize(std::max<std::size_t>(head.size(), 6), ' ');
    head += ' ';
    head += local(ops::visibleBytes(d.device));
    head.resize(std::max<std::size_t>(head.size() + 1, 48), ' ');
    head += local(word);
    if (!line.isEmpty())
        head += ' ' + local(line);
    head += '\n';
    // Of every port, an absent device is the usual case: its line alone.
    if (everyPortListed && d.finding == ops::Finding::Missing && !d.wentAway && !d.sameAs) {
        results().write(head);
        return;
    }
    results().write(head + "       heard: " + local(heard) + "\n" + "       fix:   " + local(advice) + "\n");
}

void reportLeadsWithoutTty(bool json)
{
    for (const LeadWithoutTty &lead : leadsWithoutTty()) {
        const QString advice = ops::leadWithoutTtyText(lead.serialDriver, lead.claimedBy, lead.holders, lead.brlttyRunning);
        if (json) {
            QJsonObject o;
            o.insert(QStringLiteral("port"), QString());
            o.insert(QStringLiteral("device"), utf8(describe(lead)));
            o.insert(QStringLiteral("finding"), ops::findingWord(ops::Finding::Missing));
            o.insert(QStringLiteral("advice"), advice);
            writeJson(o);
            continue;
        }
        results().write("       " + local(ops::visibleBytes(describe(lead))) + " (" + lead.serialDriver
                        + "): " + local(advice) + "\n");
    }
}

int statusOf(const std::vector<ops::PortDiagnosis> &all, bool one)
{
    bool unusable = false;
    for (const ops::PortDiagnosis &d : all) {
        if (d.finding == ops::Finding::Module)
            return 0;
        const bool notOpened = d.finding == ops::Finding::Busy || d.finding == ops::Finding::Denied
                               || d.finding == ops::Finding::Missing || d.finding == ops::Finding::Excluded;
        if (d.finding == ops::Finding::Busy || d.finding == ops::Finding::Denied || d.wentAway || (one && notOpened))
            unusable = true;
    }
    return unusable ? 4 : 3;
}

} // namespace

int runDiagnose(const Invocation &inv)
{
    std::vector<int> ports;
    if (!inv.port.empty())
        ports.push_back(serial::portNumberFor(inv.port));
    else if (ops::modulePort().number > 0)
        ports.push_back(ops::modulePort().number);
    else
        ports = everyPort();
    const bool one = ports.size() == 1;
    const auto trying = [](int port, int index) {
        tell(QStringLiteral("diagnose: ") + ops::visibleBytes(serial::portLabel(port)) + QStringLiteral(" at ")
             + QString::fromLatin1(BaudRateList[std::size_t(index)]));
    };
    const auto finished = [one](const ops::PortDiagnosis &d) {
        if (!one)
            tell(QStringLiteral("diagnose: ") + ops::visibleBytes(serial::portLabel(d.port)) + QStringLiteral(": ")
                 + ops::findingWord(d.finding));
    };
    const std::vector<ops::PortDiagnosis> all = ops::diagnosePorts(ports, finished, trying);
    for (const ops::PortDiagnosis &d : all)
        report(d, inv.json, !one);
    reportLeadsWithoutTty(inv.json);
    return statusOf(all, one);
}

} // namespace tools
