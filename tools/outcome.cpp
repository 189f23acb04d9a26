#include "tools/outcome.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>

#include "ops/operations.h"
#include "ops/visible_text.h"
#include "tools/output.h"

namespace tools {

QJsonValue Outcome::field(const char *name) const
{
    for (const OutcomeField &f : fields)
        if (std::strcmp(f.name, name) == 0)
            return f.value;
    return QJsonValue(QJsonValue::Undefined);
}

namespace {

std::string jsonOutcome(const std::string &verb, const Outcome &o, const Signalled &s)
{
    QJsonObject obj;
    for (const OutcomeField &f : o.fields)
        obj.insert(QLatin1String(f.name), f.value);
    obj.insert(QStringLiteral("verb"), QString::fromStdString(verb));
    obj.insert(QStringLiteral("ok"), o.ok);
    obj.insert(QStringLiteral("lamp"), s.lampYellow ? QStringLiteral("yellow") : QStringLiteral("red"));
    obj.insert(QStringLiteral("message"), s.message);
    if (o.save) {
        obj.insert(QStringLiteral("saved"), o.save->saved);
        if (!o.save->saved)
            obj.insert(QStringLiteral("save_error"), o.save->refusal);
    }
    if (!o.verifyError.isEmpty()) {
        obj.insert(QStringLiteral("verified"), false);
        obj.insert(QStringLiteral("verify_error"), o.verifyError);
    }
    return QJsonDocument(obj).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

QString fieldLine(const OutcomeField &f)
{
    const QString label = QStringLiteral("  ") + QString::fromLatin1(f.name).leftJustified(9);
    if (std::strcmp(f.name, "replaced") == 0) {
        if (f.value.toInt() <= 0)
            return {};
        return label + QStringLiteral("%1 characters the printer's code page (%2) lacks, printed as ?\n")
                           .arg(f.value.toInt())
                           .arg(QString::fromStdString(ops::printCodePageName()));
    }
    if (f.value.isDouble())
        return label + QString::number(f.value.toInt()) + u'\n';
    if (f.value.isBool() || f.value.toString().isEmpty())
        return {};
    // What the module sent, and a device path from ports.conf, can hold bytes a terminal would
    // obey; --json keeps them exact. A path's backslashes are its own (\\.\COM3).
    const ops::Backslash backslash = f.fromTheLine ? ops::Backslash::Doubled : ops::Backslash::Kept;
    return label + ops::visibleText(f.value.toString(), backslash) + u'\n';
}

} // namespace

std::string shownOutcome(const std::string &verb, const Outcome &o, const Signalled &s, bool json,
                         const std::string &lineNow)
{
    if (json)
        return jsonOutcome(verb, o, s);
    const QString lamp = s.lampYellow ? QStringLiteral("yellow") : QStringLiteral("red");
    QString text = QString::fromStdString(verb).leftJustified(9) + QString(o.ok ? "ok" : "FAILED").leftJustified(7)
                   + s.message + QStringLiteral("  [") + lamp + QStringLiteral("]\n");
    for (const OutcomeField &f : o.fields)
        text += fieldLine(f);
    if (!o.verifyError.isEmpty())
        text += QStringLiteral("  verify   ") + ops::visibleText(o.verifyError, ops::Backslash::Kept) + u'\n';
    if (o.save && !o.save->saved)
        text += QStringLiteral("  saved    no: %1; the module now runs at %2\n")
                    .arg(o.save->refusal, QString::fromLatin1(lineNow.data(), qsizetype(lineNow.size())));
    return local(text);
}

} // namespace tools
