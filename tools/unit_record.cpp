#include "tools/unit_record.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <utility>

#include "link/commands.h"
#include "link/device_identity.h"
#include "link/pty_peer.h"
#include "link/seams.h"
#include "ops/frame.h"
#include "tools/output.h"
#include "tools/verb_grammar.h"

namespace tools {

namespace {

// A record's fields in the order the schema gives them (QJsonObject would sort them).
class OrderedObject {
public:
    void add(const char *name, const QJsonValue &value)
    {
        const QByteArray text = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);   // [value]
        m_text += (m_text.empty() ? "{\"" : ",\"") + std::string(name) + "\":";
        m_text += text.mid(1, text.size() - 2).toStdString();
    }
    std::string text() const { return (m_text.empty() ? "{" : m_text) + "}"; }

private:
    std::string m_text;
};

// Text the module sent: its bytes as characters, as the window reads them.
QJsonValue fromTheLine(const std::optional<std::string> &bytes)
{
    if (!bytes)
        return QJsonValue::Null;
    return QString::fromLatin1(bytes->data(), qsizetype(bytes->size()));
}

QJsonValue optionalText(const std::string &text)
{
    return text.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(fromLocal(text));
}

// Who is behind the device, where known; a pty's peer program stands in for an adapter.
QJsonObject adapterOf(const std::string &device)
{
    QJsonObject out;
    if (const auto peer = serial::ptyPeer(device)) {
        out.insert(QStringLiteral("driver"), QStringLiteral("pty"));
        out.insert(QStringLiteral("peer"), QString::fromStdString(peer->name));
        return out;
    }
    const std::string name = serial::ttyNameOf(device);
    const auto id = name.empty() ? std::nullopt : serial::identifyTty(name);
    if (!id)
        return out;
    const std::pair<const char *, std::string> fields[] = {
        {"driver", id->driver},
        {"usb", id->vendorId.empty() ? std::string() : id->vendorId + ":" + id->productId},
        {"serial", id->serial},
        {"by_id", id->byId},
        {"by_path", id->byPath},
    };
    for (const auto &[key, value] : fields)
        if (!value.empty())
            out.insert(QLatin1String(key), QString::fromStdString(value));
    return out;
}

} // namespace

UnitRecord::UnitRecord(const Invocation &inv)
    : m_inv(inv), m_time(QDateTime::currentDateTimeUtc()), m_start(std::chrono::steady_clock::now())
{
}

void UnitRecord::found(int port, int lineIndex, const std::string &serial, const std::string &id,
                       const std::string &version)
{
    m_port = port;
    m_device = serial::deviceForPort(port);
    m_read = true;
    m_serial = serial;
    m_idBefore = id;
    m_version = version;
    m_lineBefore = BaudRateList[std::size_t(lineIndex)];
}

void UnitRecord::readBefore(int port, int lineIndex)
{
    if (m_read && port == m_port)
        return;
    m_port = port;
    m_device = serial::deviceForPort(port);
    m_read = true;
    takeReading(ops::readModule(port, lineIndex, ops::kFrameTries, true), lineIndex, true);
}

void UnitRecord::readAfter(int lineIndex)
{
    if (hasUnit() && m_portUsable)
        takeReading(ops::readModule(m_port, lineIndex, ops::kFrameTries, false), lineIndex, false);
}

void UnitRecord::unchanged()
{
    m_idAfter = m_idBefore;
    m_lineAfter = m_lineBefore;
}

void UnitRecord::takeReading(const ops::ModuleReading &reading, int lineIndex, bool before)
{
    if (!reading.open.opened()) {
        m_portUsable = false;
        return;
    }
    if (!reading.info)
        return;
    if (!m_serial)
        m_serial = ops::serialOf(*reading.info);
    (before ? m_idBefore : m_idAfter) = ops::idOf(*reading.info);
    (before ? m_lineBefore : m_lineAfter) = BaudRateList[std::size_t(lineIndex)];
    if (before && reading.version)
        m_version = reading.version;
}

void UnitRecord::addResult(const std::string &verb, bool ok, const QString &message, const QString &error)
{
    m_results.push_back({verb, ok, message, error});
}

std::string UnitRecord::json(bool ok) const
{
    QJsonArray results;
    for (const Result &r : m_results) {
        QJsonObject o{{"verb", QString::fromStdString(r.verb)}, {"ok", r.ok}, {"message", r.message}};
        if (!r.error.isEmpty())
            o.insert(QStringLiteral("error"), r.error);
        results.append(o);
    }
    const auto peer = serial::ptyPeer(m_device);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start);
    OrderedObject o;
    o.add("schema", 1);
    o.add("time", m_time.toString(Qt::ISODateWithMs));
    o.add("station", optionalText(m_inv.station));
    o.add("operator", optionalText(m_inv.operatorName));
    o.add("program", QJsonObject{{"name", "telmax-cmd"}, {"version", TELMAX_VERSION}});
    o.add("port", QString::fromStdString(serial::portLabel(m_port)));
    o.add("device", QString::fromStdString(m_device));
    o.add("adapter", adapterOf(m_device));
    o.add("serial", fromTheLine(m_serial));
    o.add("version", fromTheLine(m_version));
    o.add("id_before", fromTheLine(m_idBefore));
    o.add("id_after", fromTheLine(m_idAfter));
    o.add("line_before", fromTheLine(m_lineBefore));
    o.add("line_after", fromTheLine(m_lineAfter));
    o.add("results", results);
    o.add("ok", ok);
    o.add("duration_ms", qint64(ms.count()));
    o.add("simulated", peer && peer->name == "telmax-sim");
    return o.text();
}

} // namespace tools
