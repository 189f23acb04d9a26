#pragma once
// Bytes of the line as people and logs read them: spaced hexadecimal, JSON strings, whole
// decimal numbers. One definition for the simulator's log, the trace and the raw exchanges.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wire {

// "09 45 30 30": upper-case digits, one space between bytes.
std::string hex(const unsigned char *data, std::size_t count);
std::string hex(const std::vector<unsigned char> &bytes);
std::string hex(std::string_view bytes);

// A JSON string literal, quotes included, for any bytes: each byte is the code point of its
// value, control bytes and bytes from 0x7F up written as \u00XX. Always valid JSON, and the
// bytes can be read back exactly.
std::string jsonString(std::string_view bytes);

// A whole decimal number of 1 to maxDigits digits and nothing else (no sign, no spaces).
std::optional<long> decimal(std::string_view text, int maxDigits = 9);

} // namespace wire
