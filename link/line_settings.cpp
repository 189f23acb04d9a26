#include "line_settings.h"

#include "wire_text.h"

#include <cctype>
#include <vector>

namespace serial {

namespace {

std::string trim(const std::string &s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

} // namespace

std::optional<LineSettings> parseLineSettings(const std::string &text)
{
    std::vector<std::string> fields;
    std::string current;
    for (char c : text) {
        if (c == ',') {
            fields.push_back(trim(current));
            current.clear();
        } else {
            current += c;
        }
    }
    fields.push_back(trim(current));
    if (fields.size() != 4)
        return std::nullopt;

    LineSettings ls;
    const auto baud = wire::decimal(fields[0], 7);
    const auto data = wire::decimal(fields[2], 7);
    const auto stop = wire::decimal(fields[3], 7);
    if (!baud || *baud <= 0 || !data || !stop || fields[1].size() != 1)
        return std::nullopt;
    const char p = static_cast<char>(std::tolower(static_cast<unsigned char>(fields[1][0])));
    if (p != 'n' && p != 'e' && p != 'o' && p != 'm' && p != 's')
        return std::nullopt;
    if (*data < 5 || *data > 8 || (*stop != 1 && *stop != 2))
        return std::nullopt;
    ls.baud = int(*baud);
    ls.parity = p;
    ls.dataBits = int(*data);
    ls.stopBits = int(*stop);
    return ls;
}

} // namespace serial
