#include "settings/ini_text.h"

namespace ini {

namespace {

// One line of a file: its text [begin, textEnd), then its line end ("\n", "\r\n", "\r", or
// none on the last line) up to end.
struct Line {
    qsizetype begin = 0, textEnd = 0, end = 0;
};

// The line from pos, or false at the end of the file.
bool nextLine(const QByteArray &file, qsizetype pos, Line &line)
{
    if (pos >= file.size())
        return false;
    qsizetype i = pos;
    while (i < file.size() && file.at(i) != '\n' && file.at(i) != '\r')
        ++i;
    line = {pos, i, i};
    if (i < file.size())
        line.end = file.at(i) == '\r' && i + 1 < file.size() && file.at(i + 1) == '\n' ? i + 2 : i + 1;
    return true;
}

// What a line is, once blanks, a comment and a UTF-8 byte order mark at the file's start are
// set aside.
struct Parsed {
    enum class Kind { Other, Header, BadHeader, Entry } kind = Kind::Other;
    QByteArray name;   // the group of a header, the key of an entry
    QByteArray raw;    // an entry's value as written
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

Parsed parseLine(const QByteArray &text)
{
    qsizetype start = 0;
    while (start < text.size() && isBlank(text.at(start)))
        ++start;
    Parsed p;
    if (start == text.size() || text.at(start) == ';')
        return p;
    bool quoted = false;
    qsizetype equals = -1, cut = text.size();
    for (qsizetype i = start; i < text.size(); ++i) {
        const char c = text.at(i);
        if (!quoted && c == ';') {
            cut = i;
            break;
        }
        if (c == '\\')
            ++i;
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == '=' && equals < 0)
            equals = i;
    }
    if (text.at(start) == '[') {
        const qsizetype close = text.indexOf(']', start);
        if (close < 0 || close >= cut) {
            p.kind = Parsed::Kind::BadHeader;
            return p;
        }
        p.kind = Parsed::Kind::Header;
        p.name = text.mid(start + 1, close - start - 1).trimmed();
        return p;
    }
    if (equals < 0)
        return p;
    p.kind = Parsed::Kind::Entry;
    p.name = text.mid(start, equals - start).trimmed();
    p.raw = text.mid(equals + 1, cut - equals - 1);
    return p;
}

// A line's text without the byte order mark a file may start with.
QByteArray lineText(const QByteArray &file, const Line &line)
{
    qsizetype begin = line.begin;
    if (begin == 0 && file.startsWith("\xef\xbb\xbf"))
        begin = 3;
    return file.mid(begin, line.textEnd - begin);
}

// "[General]" in any letter case, and "[]", which names no group.
bool isRoot(const QByteArray &group)
{
    return group.isEmpty() || group.compare("general", Qt::CaseInsensitive) == 0;
}

// The character an escape gives, in UTF-8 (the escapes name characters, as Qt's writer wrote them).
void appendCharacter(QByteArray &out, char16_t c)
{
    if (c >= 0xD800 && c <= 0xDFFF)
        c = 0xFFFD;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

int digitValue(char c, int base)
{
    const int v = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : 99;
    return v < base ? v : -1;
}

char namedEscape(char c)
{
    switch (c) {
    case 'a': return '\a';
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'v': return '\v';
    case '"': case '?': case '\'': case '\\': return c;
    default: return 0;
    }
}

// The escape after a backslash at raw[i] (i past the backslash), appended to out; i moves past it.
void takeEscape(const QByteArray &raw, qsizetype &i, QByteArray &out)
{
    const char c = raw.at(i++);
    if (const char named = namedEscape(c)) {
        out += named;
        return;
    }
    const int base = c == 'x' ? 16 : digitValue(c, 8) >= 0 ? 8 : 0;
    if (base == 0 || (base == 16 && (i == raw.size() || digitValue(raw.at(i), 16) < 0)))
        return;   // any other character after a backslash is dropped
    char16_t value = base == 8 ? char16_t(c - '0') : 0;
    for (int d; i < raw.size() && (d = digitValue(raw.at(i), base)) >= 0; ++i)
        value = char16_t(value * base + d);
    appendCharacter(out, value);
}

void chopBlanks(QByteArray &piece, qsizetype keep)
{
    while (piece.size() > keep && (piece.back() == ' ' || piece.back() == '\t'))
        piece.chop(1);
}

// The value's pieces: quotes and escapes taken out, blanks at the ends of unquoted pieces dropped
// (but not blanks that an escape gave), a new piece at each comma outside quotes.
void decodeValue(const QByteArray &raw, Entry &entry)
{
    QByteArray piece;
    bool inQuotes = false, quoted = false;
    qsizetype keep = 0, i = 0;
    const auto skipBlanks = [&] {
        while (i < raw.size() && (raw.at(i) == ' ' || raw.at(i) == '\t'))
            ++i;
        keep = piece.size();
    };
    skipBlanks();
    while (i < raw.size()) {
        const char c = raw.at(i);
        if (c == '\\') {
            if (++i == raw.size()) {
                keep = piece.size();   // a lone backslash at the end keeps the blanks before it
                break;
            }
            takeEscape(raw, i, piece);
            keep = piece.size();
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks();
        } else if (c == ',' && !inQuotes) {
            if (!quoted)
                chopBlanks(piece, keep);
            entry.pieces << piece;
            entry.list = true;
            piece.clear();
            quoted = false;
            ++i;
            skipBlanks();
        } else {
            qsizetype j = i + 1;
            while (j < raw.size() && raw.at(j) != '\\' && raw.at(j) != '"' && raw.at(j) != ',')
                ++j;
            piece += raw.mid(i, j - i);
            i = j;
        }
    }
    if (!quoted)
        chopBlanks(piece, keep);
    entry.pieces << piece;
}

// Puts line in at position of text, starting a line of its own.
void insertLine(QByteArray &text, qsizetype position, const QByteArray &line, const QByteArray &eol)
{
    const bool lineStart = position == 0 || text.at(position - 1) == '\n' || text.at(position - 1) == '\r';
    text.insert(position, (lineStart ? QByteArray() : eol) + line + eol);
}

bool editOne(const QByteArray &file, const Edit &edit, QByteArray &out)
{
    const QByteArray eol = file.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    bool root = true, found = false;
    qsizetype lastEntry = -1, rootHeader = -1;
    out.clear();
    Line line;
    for (qsizetype pos = 0; nextLine(file, pos, line); pos = line.end) {
        const Parsed p = parseLine(lineText(file, line));
        if (p.kind == Parsed::Kind::BadHeader)
            return false;
        if (p.kind == Parsed::Kind::Header) {
            root = isRoot(p.name);
            out += file.mid(line.begin, line.end - line.begin);
            if (root && rootHeader < 0)
                rootHeader = out.size();
            continue;
        }
        const bool rootEntry = root && p.kind == Parsed::Kind::Entry;
        if (rootEntry && p.name == edit.name) {
            found = true;
            if (line.begin == 0 && file.startsWith("\xef\xbb\xbf"))
                out += "\xef\xbb\xbf";
            if (edit.text)
                out += edit.name + '=' + *edit.text + file.mid(line.textEnd, line.end - line.textEnd);
            continue;
        }
        out += file.mid(line.begin, line.end - line.begin);
        if (rootEntry)
            lastEntry = out.size();
    }
    if (found || !edit.text)
        return true;
    const QByteArray entry = edit.name + '=' + *edit.text;
    if (lastEntry >= 0 || rootHeader >= 0)
        insertLine(out, lastEntry >= 0 ? lastEntry : rootHeader, entry, eol);
    else
        insertLine(out, out.size(), (out.isEmpty() ? QByteArray() : eol) + "[General]" + eol + entry, eol);
    return true;
}

bool isPlain(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.'
        || c == '-' || c == '+';
}

} // namespace

bool readEntries(const QByteArray &file, QList<Entry> &entries)
{
    entries.clear();
    QByteArray group;
    Line line;
    for (qsizetype pos = 0; nextLine(file, pos, line); pos = line.end) {
        const Parsed p = parseLine(lineText(file, line));
        switch (p.kind) {
        case Parsed::Kind::BadHeader:
            entries.clear();
            return false;
        case Parsed::Kind::Header:
            group = isRoot(p.name) ? QByteArray() : p.name;
            break;
        case Parsed::Kind::Entry: {
            Entry entry{group, p.name, {}, false};
            decodeValue(p.raw, entry);
            entries << entry;
            break;
        }
        case Parsed::Kind::Other:
            break;
        }
    }
    return true;
}

bool editRoot(const QByteArray &file, const QList<Edit> &edits, QByteArray &edited)
{
    edited = file;
    QByteArray next;
    for (const Edit &edit : edits) {
        if (!editOne(edited, edit, next))
            return false;
        edited.swap(next);
    }
    return true;
}

QByteArray valueText(const QByteArray &text)
{
    bool plain = true;
    for (const char c : text)
        plain = plain && isPlain(c);
    if (plain)
        return text;
    static const char hex[] = "0123456789abcdef";
    QByteArray quoted("\"");
    bool afterHexEscape = false;
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        // An escape takes every hex digit after it: one that follows is escaped too.
        const bool control = u < 0x20 || u == 0x7F || (afterHexEscape && digitValue(c, 16) >= 0);
        afterHexEscape = false;
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\t' || c == '\n' || c == '\r') {
            quoted += c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
        } else if (control) {
            quoted += "\\x";
            quoted += hex[u >> 4];
            quoted += hex[u & 0xF];
            afterHexEscape = true;
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

} // namespace ini
