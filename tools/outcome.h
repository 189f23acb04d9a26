#pragma once
// What a verb came to, and how telmax-cmd shows it: a block of lines for people, or one JSON
// object (--json).

#include <QJsonValue>
#include <QString>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ops/module_port.h"

namespace tools {

struct OutcomeField {
    const char *name;
    QJsonValue value;
    bool fromTheLine;   // text the module sent (a reading)
};

struct Outcome {
    bool ok = false;
    std::vector<OutcomeField> fields;   // in the order shown
    // set-baud and factory: whether the module's new line setting was stored for the next run.
    std::optional<ops::SaveOutcome> save;
    // --verify: why what the module reports is not what was set; empty when it is, or unchecked.
    QString verifyError;

    void add(const char *name, QJsonValue value) { fields.push_back({name, std::move(value), false}); }
    void addReading(const char *name, const QString &value) { fields.push_back({name, value, true}); }
    // The value of a field; undefined when there is none.
    QJsonValue field(const char *name) const;
};

// The window's panel message and lamp as the verb left them.
struct Signalled {
    QString message;
    bool lampYellow = false;
};

// The outcome of verb as shown: text in the locale's code page, or a JSON line; both end in a
// line feed. lineNow is the line setting the module runs at, for an unsaved one.
std::string shownOutcome(const std::string &verb, const Outcome &outcome, const Signalled &signalled, bool json,
                         const std::string &lineNow);

} // namespace tools
