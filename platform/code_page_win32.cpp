// The code page converters on Windows: MultiByteToWideChar / WideCharToMultiByte, and the ANSI
// code page as the system code page.
#include "platform/code_page.h"
#include "platform/code_page_backend.h"

#include <string_view>
#include <windows.h>

namespace platform {

namespace {

std::string upper(std::string text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

// The Windows code page a name stands for: "CP936", "936", "WINDOWS-1252", "IBM437" and the
// usual names of the code pages printers read; 0 when there is none.
UINT codePageNumber(const std::string &name)
{
    const std::string n = upper(name);
    struct Alias {
        const char *name;
        UINT number;
    };
    static const Alias aliases[] = {
        {"UTF-8", CP_UTF8},  {"UTF8", CP_UTF8},   {"GBK", 936},       {"GB2312", 936},     {"EUC-CN", 936},
        {"GB18030", 54936},  {"BIG5", 950},       {"BIG-5", 950},     {"SHIFT_JIS", 932},  {"SHIFT-JIS", 932},
        {"SJIS", 932},       {"EUC-KR", 949},     {"UHC", 949},       {"ASCII", 20127},    {"US-ASCII", 20127},
        {"ANSI_X3.4-1968", 20127}, {"ISO-8859-1", 28591}, {"LATIN1", 28591},
    };
    for (const Alias &a : aliases)
        if (n == a.name)
            return a.number;
    std::string digits = n;
    for (const char *prefix : {"WINDOWS-", "CP", "IBM"})
        if (digits.rfind(prefix, 0) == 0) {
            digits = digits.substr(std::string_view(prefix).size());
            break;
        }
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const UINT number = UINT(std::stoul(digits));
    return IsValidCodePage(number) ? number : 0;
}

// bytes of a code page as UTF-16; what the code page does not define becomes U+FFFD (or the
// code page's own default character).
bool toWide(const std::string &bytes, UINT codePage, std::wstring &wide)
{
    wide.clear();
    if (bytes.empty())
        return true;
    const int length = MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    if (length <= 0)
        return false;
    wide.assign(std::size_t(length), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), wide.data(), length);
    return true;
}

bool fromWide(const std::wstring &wide, UINT codePage, std::string &out)
{
    out.clear();
    if (wide.empty())
        return true;
    // No best fit: a character the code page lacks is "?", never a look-alike. UTF-8 and
    // GB18030 hold every character and take neither.
    const bool whole = codePage == CP_UTF8 || codePage == 54936;
    const DWORD flags = whole ? 0 : WC_NO_BEST_FIT_CHARS;
    const char *fallback = whole ? nullptr : "?";
    const int bytes = WideCharToMultiByte(codePage, flags, wide.data(), int(wide.size()), nullptr, 0, fallback, nullptr);
    if (bytes <= 0)
        return false;
    out.assign(std::size_t(bytes), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), int(wide.size()), out.data(), bytes, fallback, nullptr);
    return true;
}

std::size_t questionMarks(const std::string &text)
{
    std::size_t count = 0;
    for (const char c : text)
        count += c == '?';
    return count;
}

} // namespace

namespace codepage {

bool encode(const std::string &utf8, const std::string &name, std::string &out, int &replaced)
{
    const UINT codePage = codePageNumber(name);
    std::wstring wide;
    // Malformed UTF-8 becomes U+FFFD here, which no code page but Unicode holds: "?".
    if (codePage == 0 || !toWide(utf8, CP_UTF8, wide) || !fromWide(wide, codePage, out))
        return false;
    // Windows tells only whether a default character was used, not how often. A "?" of the
    // text stays one and none is ever part of a longer character (0x3F is no trail byte of
    // GBK, Big5 or Shift_JIS), so the ones added are the characters replaced.
    const std::size_t before = questionMarks(utf8), after = questionMarks(out);
    replaced = after > before ? int(after - before) : 0;
    return true;
}

bool decode(const std::string &bytes, const std::string &name, std::string &utf8)
{
    const UINT codePage = codePageNumber(name);
    std::wstring wide;
    return codePage != 0 && toWide(bytes, codePage, wide) && fromWide(wide, CP_UTF8, utf8);
}

} // namespace codepage

std::string systemCodePage()
{
    return "CP" + std::to_string(GetACP());
}

} // namespace platform
