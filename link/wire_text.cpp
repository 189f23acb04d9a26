#include "wire_text.h"

#include <cstdio>

namespace wire {

std::string hex(const unsigned char *data, std::size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (i)
            out += ' ';
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0x0F];
    }
    return out;
}

std::string hex(const std::vector<unsigned char> &bytes) { return hex(bytes.data(), bytes.size()); }

std::string hex(std::string_view bytes)
{
    return hex(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
}

std::string jsonString(std::string_view bytes)
{
    std::string out = "\"";
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(c));
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::optional<long> decimal(std::string_view text, int maxDigits)
{
    if (text.empty() || text.size() > std::size_t(maxDigits))
        return std::nullopt;
    long v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

} // namespace wire
