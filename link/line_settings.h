#pragma once
// Reading a line-settings string such as "19200,e,8,1": baud, parity, data bits, stop bits.

#include <optional>
#include <string>

namespace serial {

struct LineSettings {
    int baud = 0;
    char parity = 'n';   // 'n', 'e', 'o', 'm' or 's'
    int dataBits = 8;    // 5..8
    int stopBits = 1;    // 1 or 2
};

// Accepts "rate,p,d,s" with optional spaces around the fields, parity in either case.
// Anything else gives no value.
std::optional<LineSettings> parseLineSettings(const std::string &text);

} // namespace serial
