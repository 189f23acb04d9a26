#pragma once
// Text that came from outside the program (a reply on the line, a device path from a file) as
// people are shown it. Such text can hold control characters that a terminal obeys (ESC ] 2 ;
// ... BEL sets its title) or that make a listing lie (a newline starts a line of its own).

#include <QString>
#include <string>

namespace ops {

// Each control character (C0, DEL and the C1 range U+0080-U+009F, which bytes shown as Latin-1
// reach) as \xNN; a backslash as \\, so a shown \x1b is never the text itself. Backslash::Kept
// is for text whose backslashes mean something of their own: a device path (\\.\COM3), a
// ports.conf line to copy.
enum class Backslash { Doubled, Kept };
QString visibleText(const QString &text, Backslash backslash = Backslash::Doubled);

// Bytes from outside the program in the locale's code page (a device path from ports.conf, a
// process name), as people are shown them: control characters visible, backslashes kept.
QString visibleBytes(const std::string &bytes);

// Text for people in the locale's code page, as the terminal reads it (a character it lacks
// as "?").
std::string localBytes(const QString &text);

} // namespace ops
