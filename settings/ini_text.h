#pragma once
// The store files' text (PRINTConfig.conf, ports.conf), read and edited line by line. A file is
// lines of "name=value" under "[Group]" headers; values before the first header and under
// [General] (in any letter case) are the root group's, where the program's settings live.
//
//   ; a comment                        a line starting with ';' (after blanks)
//   [Ports]                            a group, named as written
//   COM6="/dev/odd;name\\with\"quote"  outside double quotes ';' ends the line's text and ','
//   COM7=/dev/ttyUSB2                  splits the value into pieces; a backslash escapes
//                                      everywhere (\t, \", \\, \x1b, \033)
//
// Every value is text, kept as its bytes (a device path that is not UTF-8 stays as it is); a
// value that looks like one of Qt's serialized types (@Variant(...), @ByteArray(...)) is that
// text and nothing else. One entry is one line: a quote still open at the line's end closes
// there, and no line carries over into the next, so each line can be changed on its own.

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <optional>

namespace ini {

struct Entry {
    QByteArray group;   // empty for the root group
    QByteArray key;
    // The value's text; with unquoted commas, its pieces (blanks around each comma dropped).
    QByteArrayList pieces;
    bool list = false;
};

// Every entry of the file in the order of its lines (a name given twice: the later counts).
// False when a group header lacks its ']': nothing after it could be placed in a group.
bool readEntries(const QByteArray &file, QList<Entry> &entries);

// One value of a save: the text after "name=" (valueText), or nothing to drop the value.
struct Edit {
    QByteArray name;
    std::optional<QByteArray> text;
};

// The file with each edit made in turn in the root group: every line of the name replaced by
// "name=text" (or dropped), else the line added after the group's last entry, else a [General]
// group added at the end. Every other line, comments and line ends stay byte for byte. False
// when the file cannot be read (readEntries).
bool editRoot(const QByteArray &file, const QList<Edit> &edits, QByteArray &edited);

// text as it stands after "=" so that it reads back as itself: as it is when it is a plain word
// (letters, digits, "_.-+"), else in double quotes with '"', '\' and control bytes escaped.
QByteArray valueText(const QByteArray &text);

} // namespace ini
