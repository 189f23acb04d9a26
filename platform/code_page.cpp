#include "platform/code_page.h"

#include <map>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <clocale>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#endif

namespace platform {

namespace {

// Printable ASCII and a few characters of the scripts printers are set up for: what a code page
// has to carry without a control byte, ASCII as itself.
constexpr std::string_view kAsciiSample =
    " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
constexpr std::string_view kOtherSample = "\u4E2D\u6587\u7E41\u9AD4\u00E9\u00FC\u20AC\u3042\uD55C\u0416";

bool hasControlByte(const std::string &bytes)
{
    for (unsigned char c : bytes)
        if (c < 0x20)
            return true;
    return false;
}

// Bytes of the UTF-8 sequence starting at text; 1 when it is malformed there.
std::size_t utf8Length(const char *text, std::size_t left)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4                     ? 4
                                                                                   : 1;
    if (length > left)
        return 1;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            return 1;
    return length;
}

// Only ASCII survives, everything else is "?": the last resort when not even the system code
// page can be opened.
std::string toAscii(const std::string &utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += char(c);
            ++i;
        } else {
            out += '?';
            i += utf8Length(utf8.data() + i, utf8.size() - i);
        }
    }
    return out;
}

#ifdef _WIN32

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

bool convert(const std::string &utf8, UINT codePage, std::string &out)
{
    out.clear();
    if (utf8.empty())
        return true;
    // Malformed UTF-8 becomes U+FFFD here, which no code page but Unicode holds: "?".
    const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    if (wide <= 0)
        return false;
    std::wstring text(std::size_t(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), wide);

    // No best fit: a character the code page lacks is "?", never a look-alike.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    const char *fallback = "?";
    if (codePage == CP_UTF8 || codePage == 54936) {
        flags = 0;   // these hold every character and take neither
        fallback = nullptr;
    }
    int bytes = WideCharToMultiByte(codePage, flags, text.data(), wide, nullptr, 0, fallback, nullptr);
    if (bytes <= 0)
        return false;
    out.assign(std::size_t(bytes), '\0');
    WideCharToMultiByte(codePage, flags, text.data(), wide, out.data(), bytes, fallback, nullptr);
    return true;
}

bool usable(const std::string &name)
{
    const UINT codePage = codePageNumber(name);
    std::string ascii, other;
    return codePage != 0 && convert(std::string(kAsciiSample), codePage, ascii) && ascii == kAsciiSample
           && convert(std::string(kOtherSample), codePage, other) && !hasControlByte(other);
}

bool encode(const std::string &utf8, const std::string &name, std::string &out)
{
    return convert(utf8, codePageNumber(name), out);
}

#else

class Converter {
public:
    explicit Converter(const std::string &name) : m_cd(iconv_open(name.c_str(), "UTF-8")) {}
    ~Converter()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    std::string run(const std::string &utf8)
    {
        std::string out;
        char buffer[256];
        char *in = const_cast<char *>(utf8.data());
        std::size_t inLeft = utf8.size();
        while (inLeft > 0) {
            char *o = buffer;
            std::size_t oLeft = sizeof buffer;
            const std::size_t done = iconv(m_cd, &in, &inLeft, &o, &oLeft);
            out.append(buffer, std::size_t(o - buffer));
            if (done != static_cast<std::size_t>(-1) || errno == E2BIG)
                continue;
            // EILSEQ: a character the code page lacks, or malformed input; EINVAL: cut short.
            out += '?';
            const std::size_t skip = utf8Length(in, inLeft);
            in += skip;
            inLeft -= skip;
        }
        char *o = buffer;
        std::size_t oLeft = sizeof buffer;
        iconv(m_cd, nullptr, nullptr, &o, &oLeft);   // back to the initial shift state
        out.append(buffer, std::size_t(o - buffer));
        return out;
    }

private:
    iconv_t m_cd;
};

bool usable(const std::string &name)
{
    Converter converter(name);
    return converter.ok() && converter.run(std::string(kAsciiSample)) == kAsciiSample
           && !hasControlByte(converter.run(std::string(kOtherSample)));
}

bool encode(const std::string &utf8, const std::string &name, std::string &out)
{
    Converter converter(name);
    if (!converter.ok())
        return false;
    out = converter.run(utf8);
    return true;
}

#endif

// The window asks for every keystroke, always with the same one or two names.
bool usableCached(const std::string &name)
{
    thread_local std::map<std::string, bool> known;
    const auto found = known.find(name);
    if (found != known.end())
        return found->second;
    return known[name] = usable(name);
}

} // namespace

std::string systemCodePage()
{
#ifdef _WIN32
    return "CP" + std::to_string(GetACP());
#else
    // The environment's locale, whether or not the program has called setlocale.
    std::string name;
    if (locale_t locale = newlocale(LC_CTYPE_MASK, "", locale_t(nullptr))) {
        name = nl_langinfo_l(CODESET, locale);
        freelocale(locale);
    } else {
        name = nl_langinfo(CODESET);
    }
    return name.empty() ? std::string("ANSI_X3.4-1968") : name;
#endif
}

bool codePageUsable(const std::string &name)
{
    return !name.empty() && usableCached(name);
}

std::string toCodePage(const std::string &utf8, const std::string &name, int *replaced)
{
    std::string out;
    const auto count = [&](const std::string &o) {
        if (replaced) {
            int in = 0, q = 0;
            for (char c : utf8) in += c == '?';
            for (char c : o) q += c == '?';
            *replaced = q - in;
        }
        return o;
    };
    if (codePageUsable(name) && encode(utf8, name, out))
        return count(out);
    const std::string system = systemCodePage();
    if (codePageUsable(system) && encode(utf8, system, out))
        return count(out);
    return count(toAscii(utf8));
}

std::string fromCodePage(const std::string &bytes, const std::string &name)
{
#ifdef _WIN32
    (void)name;
    return bytes;
#else
    const std::string from = codePageUsable(name) ? name : systemCodePage();
    iconv_t cd = iconv_open("UTF-8", from.c_str());
    if (cd == iconv_t(-1))
        return bytes;
    std::string out(bytes.size() * 4 + 8, '\0');
    char *in = const_cast<char *>(bytes.data());
    std::size_t inLeft = bytes.size();
    char *o = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &o, &outLeft) == std::size_t(-1)) {
            ++in; --inLeft; *o++ = '?'; --outLeft;
        }
    }
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
#endif
}

} // namespace platform
