#include "platform/code_page.h"

#include <map>
#include <string_view>

#include "platform/code_page_backend.h"

namespace platform {

namespace codepage {

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

} // namespace codepage

namespace {

// Printable ASCII and a few characters of the scripts printers are set up for: what a code page
// has to carry without a control byte, ASCII as itself.
constexpr std::string_view kAsciiSample =
    " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
constexpr std::string_view kOtherSample = "\u4E2D\u6587\u7E41\u9AD4\u00E9\u00FC\u20AC\u3042\uD55C\u0416";
constexpr std::string_view kReplacement = "\uFFFD";

bool hasControlByte(const std::string &bytes)
{
    for (unsigned char c : bytes)
        if (c < 0x20)
            return true;
    return false;
}

// Only ASCII survives, everything else is "?": the last resort when not even the system code
// page can be opened.
std::string toAscii(const std::string &utf8, int &replaced)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += char(c);
            ++i;
        } else {
            out += '?';
            ++replaced;
            i += codepage::utf8Length(utf8.data() + i, utf8.size() - i);
        }
    }
    return out;
}

std::string fromAscii(const std::string &bytes)
{
    std::string out;
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) < 0x80)
            out += c;
        else
            out += kReplacement;
    return out;
}

bool usable(const std::string &name)
{
    std::string ascii, other;
    int replaced = 0;
    return codepage::encode(std::string(kAsciiSample), name, ascii, replaced) && ascii == kAsciiSample
           && codepage::encode(std::string(kOtherSample), name, other, replaced) && !hasControlByte(other);
}

// The window asks for every keystroke, always with the same one or two names.
bool usableCached(const std::string &name)
{
    thread_local std::map<std::string, bool> known;
    const auto found = known.find(name);
    if (found != known.end())
        return found->second;
    return known[name] = usable(name);
}

bool encodeIn(const std::string &utf8, const std::string &name, std::string &out, int &replaced)
{
    replaced = 0;
    return !name.empty() && usableCached(name) && codepage::encode(utf8, name, out, replaced);
}

} // namespace

bool codePageUsable(const std::string &name)
{
    return !name.empty() && usableCached(name);
}

std::string toCodePage(const std::string &utf8, const std::string &name, int *replaced)
{
    std::string out;
    int count = 0;
    if (!encodeIn(utf8, name, out, count) && !encodeIn(utf8, systemCodePage(), out, count))
        out = toAscii(utf8, count = 0);
    if (replaced)
        *replaced = count;
    return out;
}

std::string fromCodePage(const std::string &bytes, const std::string &name)
{
    std::string out;
    if (codePageUsable(name) && codepage::decode(bytes, name, out))
        return out;
    const std::string system = systemCodePage();
    if (codePageUsable(system) && codepage::decode(bytes, system, out))
        return out;
    return fromAscii(bytes);
}

} // namespace platform
