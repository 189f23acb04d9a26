// The code page converters on POSIX: iconv, and the locale's character set as the system code page.
#include "platform/code_page.h"
#include "platform/code_page_backend.h"

#include <cerrno>
#include <clocale>
#include <functional>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

namespace platform {

namespace {

class Converter {
public:
    // What to put out for the input iconv refuses at in (left bytes to go); returns how many
    // bytes of it to pass over.
    using Refused = std::function<std::size_t(const char *in, std::size_t left, std::string &out)>;

    Converter(const std::string &to, const std::string &from) : m_cd(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    std::string run(const std::string &input, const Refused &refused)
    {
        std::string out;
        char buffer[256];
        char *in = const_cast<char *>(input.data());
        std::size_t inLeft = input.size();
        while (inLeft > 0) {
            char *o = buffer;
            std::size_t oLeft = sizeof buffer;
            const std::size_t done = iconv(m_cd, &in, &inLeft, &o, &oLeft);
            out.append(buffer, std::size_t(o - buffer));
            if (done != static_cast<std::size_t>(-1) || errno == E2BIG)
                continue;
            // EILSEQ: a character the other side lacks, or malformed input; EINVAL: cut short.
            const std::size_t skip = refused(in, inLeft, out);
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

} // namespace

namespace codepage {

bool encode(const std::string &utf8, const std::string &name, std::string &out, int &replaced)
{
    Converter converter(name, "UTF-8");
    if (!converter.ok())
        return false;
    out = converter.run(utf8, [&replaced](const char *in, std::size_t left, std::string &to) {
        to += '?';
        ++replaced;
        return utf8Length(in, left);
    });
    return true;
}

bool decode(const std::string &bytes, const std::string &name, std::string &utf8)
{
    Converter converter("UTF-8", name);
    if (!converter.ok())
        return false;
    utf8 = converter.run(bytes, [](const char *, std::size_t left, std::string &to) {
        to += "\uFFFD";
        // A sequence cut short at the end is one unreadable character, not one per byte.
        return errno == EINVAL ? left : std::size_t(1);
    });
    return true;
}

} // namespace codepage

std::string systemCodePage()
{
    // The environment's locale, whether or not the program has called setlocale.
    std::string name;
    if (locale_t locale = newlocale(LC_CTYPE_MASK, "", locale_t(nullptr))) {
        name = nl_langinfo_l(CODESET, locale);
        freelocale(locale);
    } else {
        name = nl_langinfo(CODESET);
    }
    return name.empty() ? std::string("ANSI_X3.4-1968") : name;
}

} // namespace platform
