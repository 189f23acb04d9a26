#pragma once
// The one serial port the utility talks through: opened by number for each operation,
// closed again with its earlier state restored. At most one port is open at a time.

#include <string>

#include "port_backend.h"

// The platform handle of the port. Every OpenComm writes it, so after a failed open it
// holds INVALID_COMM_HANDLE; CloseComm leaves it as it is.
extern CommHandleType CommHandle;

// Opens "COM" + number (resolved to a device) exclusively with the given line settings.
// True when the port is open; an unreadable settings string does not make it fail.
bool OpenComm(int number, const std::string &settings);
// Restores the port state saved at open and releases the port.
void CloseComm();
// One write of the low 8 bits of value, then a 1 ms pause.
void SendByte(int value);
// One write of count bytes, then a 5 ms pause.
void SendBlock(const unsigned char *data, int count);

namespace serial {
// Why the last OpenComm failed (OpenFailure::None after a successful one), and the device it tried.
OpenResult lastOpenResult();
std::string lastOpenDevice();
} // namespace serial
