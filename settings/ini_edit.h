#pragma once
// A store file of Qt's INI format with one value of its [General] group set or dropped, and
// everything else kept as it was: the lines that hold the value are changed in place (a new
// value goes after the group's last), comments, unknown lines, other groups and line ends stay
// byte for byte. The result is used only when QSettings reads it back with exactly the intended
// values (the one saved as Qt's own writer would have stored it, all others unchanged);
// otherwise the text Qt's writer makes is used, which keeps the values but not the comments.
// Both are checked in a private temporary folder, never in the store's own.

#include <QByteArray>
#include <QString>
#include <QVariant>

struct IniUpdate {
    QByteArray text;
    QVariant readBack;        // the value as QSettings reads it from text; invalid when dropped
    bool linesKept = false;   // false when text is Qt's writer's
};

// False with why ("cannot be parsed", ...) when neither way gives a text.
bool updateIniText(const QByteArray &original, const QString &valueName, const QVariant &value, IniUpdate &update,
                   QString &why);
