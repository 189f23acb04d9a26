#pragma once
// Line settings expressed as termios (POSIX only).
#ifndef _WIN32

#include <string>
#include <termios.h>

namespace serial {

// Raw mode with the receiver on, modem lines ignored and no flow control of either kind,
// reads that return at once (the backend polls). Baud, parity, data and stop bits
// are not touched.
void makeRaw(termios &t);

// Applies speed, parity, data and stop bits of a line-settings string to t.
// False, with t untouched, when the string cannot be read or the speed is not one termios knows.
bool applyLineSettings(const std::string &settings, termios &t);

// The speed_t for a baud rate, or B0 when termios has none.
speed_t speedFor(int baud);
int baudFor(speed_t speed);

} // namespace serial

#endif
