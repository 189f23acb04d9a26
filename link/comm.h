#pragma once
// The one serial port the utility talks through, by the system's names: the default link
// (link.h), opened by number for each operation, closed again with its earlier state restored.

#include <cstdint>
#include <string>

#include "link.h"

// The platform handle of the port (serial::defaultLink.handle).
extern CommHandleType &CommHandle;

// serial::Link::open (true when the port opened), close, sendByte and sendBlock on the default link.
bool OpenComm(int number, const std::string &settings);
void CloseComm();
void SendByte(int value);
void SendBlock(const unsigned char *data, int count);

namespace serial {
// Of the default link.
std::uint32_t wireTimeMs(int count);
} // namespace serial
