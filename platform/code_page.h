#pragma once
// The code page the printer reads: text as the user typed it (UTF-8) turned into the bytes that
// go after "E00G". The module prints bytes, and its firmware reads them in its own code page
// (GBK, Big5, ...), not in whatever the desktop uses. The other way, bytes of a code page (a
// command line in the locale's code page) read as UTF-8. iconv on POSIX (code_page_posix.cpp),
// WideCharToMultiByte on Windows (code_page_win32.cpp). Plain C++.

#include <string>

namespace platform {

// The system code page: the character set of the user's locale (LC_ALL, LC_CTYPE, LANG), on
// Windows the ANSI code page ("CP936"). "ANSI_X3.4-1968" (ASCII) when the locale names none.
std::string systemCodePage();

// Whether text can go out in the named code page: the converter knows it, ASCII stays ASCII and
// no character becomes a control byte. A frame starts at 09, ends at 0D and is cut at 00, so
// UTF-16, UTF-7 or ISO-2022 would break it.
bool codePageUsable(const std::string &name);

// utf8 in the named code page; an empty or unusable name means the system code page. A
// character the code page cannot hold, and a malformed UTF-8 sequence, becomes one "?"; when
// replaced is given it is set to how many did.
std::string toCodePage(const std::string &utf8, const std::string &name, int *replaced = nullptr);

// bytes in the named code page as UTF-8; an empty or unusable name means the system code page.
// A sequence the code page does not define becomes U+FFFD (on Windows a code page may give its
// own default character instead, often "?").
std::string fromCodePage(const std::string &bytes, const std::string &name);

} // namespace platform
