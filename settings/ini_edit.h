#pragma once
// A store file of Qt's INI format with one value of its [General] group set or dropped, and
// everything else kept as it was: the lines that hold the value are changed in place (a new
// value goes after the group's last), comments, unknown lines, other groups and line ends stay
// byte for byte. The result is used only when QSettings reads it back with exactly the intended
// values (the one saved as its text, all others unchanged); otherwise the text Qt's writer
// makes is used, which keeps the values but not the comments.

#include <QByteArray>
#include <QString>
#include <QVariant>

struct IniUpdate {
    QByteArray text;
    QVariant readBack;        // the value as QSettings reads it from text; invalid when dropped
    bool linesKept = false;   // false when text is Qt's writer's
};

// QSettings reads and Qt's writer writes in a private folder made in scratch, which must be a
// folder no other user can change. False with why ("cannot be parsed", ...) when neither way
// gives a text.
bool updateIniText(const QByteArray &original, const QString &valueName, const QVariant &value,
                   const QString &scratch, IniUpdate &update, QString &why);
