#pragma once
// One unit, as --audit records it: the module worked on in a run (found by a scan, or at a port
// named), what it said of itself before and after, and what each verb came to. Schema 1; its
// fields are documented in telmax-cmd(1).

#include <QDateTime>
#include <QString>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "ops/module_reading.h"

namespace tools {

struct Invocation;

class UnitRecord {
public:
    explicit UnitRecord(const Invocation &invocation);

    // The module a scan found: its port, line setting and what the scan read.
    void found(int port, int lineIndex, const std::string &serial, const std::string &id, const std::string &version);
    // The port the verbs work on, before the first, when no scan found the module: it is read
    // there first (S/N, ID, version) unless it was read already.
    void readBefore(int port, int lineIndex);
    // What a verb came to; error: why it failed beyond the message (a port, a check).
    void addResult(const std::string &verb, bool ok, const QString &message, const QString &error = {});
    // The module read again at the end, at the line setting it now runs at.
    void readAfter(int lineIndex);
    // Nothing was changed (a scan alone): the module after is the module before.
    void unchanged();

    // Whether the run worked on a port: only then is there a unit to record.
    bool hasUnit() const { return m_port > 0; }
    bool portUsable() const { return m_portUsable; }
    // The record, one JSON object on one line (no line feed); ok is the unit's.
    std::string json(bool ok) const;

private:
    void takeReading(const ops::ModuleReading &reading, int lineIndex, bool before);

    const Invocation &m_inv;
    QDateTime m_time;
    std::chrono::steady_clock::time_point m_start;
    int m_port = 0;
    std::string m_device;
    bool m_portUsable = true;
    bool m_read = false;
    std::optional<std::string> m_serial, m_version, m_idBefore, m_idAfter, m_lineBefore, m_lineAfter;
    struct Result {
        std::string verb;
        bool ok;
        QString message;
        QString error;
    };
    std::vector<Result> m_results;
};

} // namespace tools
