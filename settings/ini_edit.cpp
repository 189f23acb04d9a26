#include "settings/ini_edit.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QVariantMap>
#include <optional>

namespace {

// Reads text as QSettings reads a store, from a file of its own in the private folder.
bool parse(const QTemporaryDir &dir, const QString &fileName, const QByteArray &text, QVariantMap &values)
{
    const QString path = dir.filePath(fileName);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return false;
    file.close();
    const QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return false;
    values.clear();
    for (const QString &key : settings.allKeys())
        values.insert(key, settings.value(key));
    return true;
}

// The text Qt's own writer makes of original with the value set or dropped.
bool qtRewrite(const QTemporaryDir &dir, const QByteArray &original, const QString &name, const QVariant &value,
               QByteArray &text)
{
    const QString path = dir.filePath(QStringLiteral("rewrite.conf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(original) != original.size())
        return false;
    file.close();
    {
        QSettings settings(path, QSettings::IniFormat);
        if (value.isValid())
            settings.setValue(name, value);
        else
            settings.remove(name);
        settings.sync();
        // A line that is no entry shows here as a FormatError, yet the file is written.
        if (settings.status() == QSettings::AccessError)
            return false;
    }
    if (!file.open(QIODevice::ReadOnly))
        return false;
    text = file.readAll();
    return true;
}

bool plainName(const QString &name)
{
    for (const QChar c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'_')
            return false;
    return !name.isEmpty();
}

// The value as it stands after "=", in the form Qt's writer gives the program's values: an
// integer in decimal, a plain word as it is, any other text in quotes ("19200,e,8,1" unquoted
// would read as a list). Nothing for what only Qt's writer should put into words.
std::optional<QByteArray> valueText(const QVariant &value)
{
    if (value.typeId() == QMetaType::Int)
        return QByteArray::number(value.toInt());
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = value.toString();
    bool plain = true;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return std::nullopt;
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'_' && c != u'.' && c != u'-' && c != u'+')
            plain = false;
    }
    if (plain)
        return text.toUtf8();
    QByteArray quoted("\"");
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

// "[General]", in any letter case, is the group the program's values live in.
bool isRootSection(const QByteArray &trimmed)
{
    const qsizetype end = trimmed.indexOf(']');
    const QByteArray section = trimmed.mid(1, end < 0 ? -1 : end - 1).trimmed();
    return section.compare("general", Qt::CaseInsensitive) == 0;
}

QByteArray keyOf(const QByteArray &trimmed)
{
    const qsizetype equals = trimmed.indexOf('=');
    return equals < 0 || trimmed.startsWith(';') ? QByteArray() : trimmed.left(equals).trimmed();
}

QByteArray lineEnd(const QByteArray &line)
{
    return line.endsWith("\r\n") ? QByteArray("\r\n") : line.endsWith('\n') ? QByteArray("\n") : QByteArray();
}

// Puts line in at position of text, starting a line of its own.
void insertLine(QByteArray &text, qsizetype position, const QByteArray &line, const QByteArray &eol)
{
    const bool lineStart = position == 0 || text.at(position - 1) == '\n';
    text.insert(position, (lineStart ? QByteArray() : eol) + line + eol);
}

// original with the lines of name in the root group replaced by "name=value" (dropped when
// value is invalid), or such a line added to the group; nothing when the value has no form here.
std::optional<QByteArray> editLines(const QByteArray &original, const QString &name, const QVariant &value)
{
    if (!plainName(name))
        return std::nullopt;
    std::optional<QByteArray> text;
    if (value.isValid() && !(text = valueText(value)))
        return std::nullopt;
    const QByteArray key = name.toLatin1();
    const QByteArray eol = original.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    QByteArray out;
    bool root = true;   // values before the first group header are [General]'s too
    bool found = false;
    qsizetype lastEntry = -1, rootHeader = -1;
    for (qsizetype pos = 0; pos < original.size();) {
        const qsizetype newline = original.indexOf('\n', pos);
        const qsizetype end = newline < 0 ? original.size() : newline + 1;
        const QByteArray line = original.mid(pos, end - pos);
        const QByteArray trimmed = line.trimmed();
        pos = end;
        if (trimmed.startsWith('[')) {
            root = isRootSection(trimmed);
            out += line;
            if (root && rootHeader < 0)
                rootHeader = out.size();
            continue;
        }
        const QByteArray lineKey = root ? keyOf(trimmed) : QByteArray();
        if (lineKey == key) {
            found = true;
            if (text)
                out += key + '=' + *text + lineEnd(line);
            continue;
        }
        out += line;
        if (!lineKey.isEmpty())
            lastEntry = out.size();
    }
    if (found || !text)
        return out;
    const QByteArray entry = key + '=' + *text;
    if (lastEntry >= 0 || rootHeader >= 0)
        insertLine(out, lastEntry >= 0 ? lastEntry : rootHeader, entry, eol);
    else
        insertLine(out, out.size(), (out.isEmpty() ? QByteArray() : eol) + "[General]" + eol + entry, eol);
    return out;
}

// The value as QSettings reads it back from a file, where every value is text; nothing for a
// type only Qt's writer knows how to store.
std::optional<QVariant> readBackOf(const QVariant &value)
{
    if (!value.isValid() || value.typeId() == QMetaType::QString)
        return value;
    if (value.typeId() == QMetaType::Int)
        return QVariant(QString::number(value.toInt()));
    return std::nullopt;
}

// The lines of original edited, when QSettings reads them back as before but for the one value.
bool keepLines(const QTemporaryDir &dir, const QByteArray &original, const QVariantMap &before, const QString &name,
               const QVariant &value, IniUpdate &update)
{
    const std::optional<QVariant> readBack = readBackOf(value);
    const std::optional<QByteArray> kept = editLines(original, name, value);
    if (!readBack || !kept)
        return false;
    QVariantMap expected = before, keptValues;
    if (readBack->isValid())
        expected.insert(name, *readBack);
    else
        expected.remove(name);
    if (!parse(dir, QStringLiteral("kept.conf"), *kept, keptValues) || keptValues != expected)
        return false;
    update = {*kept, *readBack, true};
    return true;
}

} // namespace

bool updateIniText(const QByteArray &original, const QString &valueName, const QVariant &value,
                   const QString &scratch, IniUpdate &update, QString &why)
{
    const QTemporaryDir dir(scratch + QStringLiteral("/telmax-settings-XXXXXX"));
    if (!dir.isValid()) {
        why = QStringLiteral("cannot be checked: no private folder in %1 (%2)").arg(scratch, dir.errorString());
        return false;
    }
    QVariantMap before, qtValues;
    if (!parse(dir, QStringLiteral("before.conf"), original, before)) {
        why = QStringLiteral("cannot be parsed");
        return false;
    }
    if (keepLines(dir, original, before, valueName, value, update))
        return true;
    QByteArray rewritten;
    if (!qtRewrite(dir, original, valueName, value, rewritten)
        || !parse(dir, QStringLiteral("rewritten.conf"), rewritten, qtValues)) {
        why = QStringLiteral("cannot be written anew by Qt's writer");
        return false;
    }
    update = {rewritten, qtValues.value(valueName), false};
    return true;
}
