#pragma once
// What code_page.cpp asks of each platform's converter: code_page_posix.cpp (iconv),
// code_page_win32.cpp (MultiByteToWideChar / WideCharToMultiByte). Only one of the two is built.

#include <cstddef>
#include <string>

namespace platform::codepage {

// utf8 in the named code page; false when this system does not know the name. Every character
// the code page lacks, and every malformed UTF-8 sequence, becomes one "?" and counts in replaced.
bool encode(const std::string &utf8, const std::string &name, std::string &out, int &replaced);

// bytes of the named code page as UTF-8, a sequence it does not define as U+FFFD; false when
// this system does not know the name.
bool decode(const std::string &bytes, const std::string &name, std::string &utf8);

// Bytes of the UTF-8 sequence starting at text; 1 when it is malformed there (code_page.cpp).
std::size_t utf8Length(const char *text, std::size_t left);

} // namespace platform::codepage
