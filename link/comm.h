#pragma once
// The one serial port the utility talks through: opened by number for each operation,
// closed again with its earlier state restored. At most one port is open at a time.

#include <cstdint>
#include <string>

#include "port_backend.h"

// The platform handle of the port. Every OpenComm that gets as far as the device writes it,
// so after a failed open it holds INVALID_COMM_HANDLE; CloseComm leaves it as it is.
extern CommHandleType CommHandle;

// Opens "COM" + number (resolved to a device) exclusively with the given line settings.
// True when the port is open; an unreadable settings string does not make it fail.
// While a port is open a second OpenComm fails and leaves CommHandle to the open port.
bool OpenComm(int number, const std::string &settings);
// Restores the port state saved at open and releases the port (nothing when none is open).
void CloseComm();
// One write of the low 8 bits of value, then a 1 ms pause once it has left the port.
void SendByte(int value);
// One write of count bytes, then a 5 ms pause once they have left the port.
void SendBlock(const unsigned char *data, int count);

namespace serial {
// Why the last OpenComm failed (OpenFailure::None after a successful one), and the device it tried.
OpenResult lastOpenResult();
std::string lastOpenDevice();
// Milliseconds that count characters take on the wire at the open port's line settings
// (start, data, parity and stop bits), rounded up. An unreadable settings string left the
// line as it was, at a speed unknown here: the slowest line setting of the module is assumed.
std::uint32_t wireTimeMs(int count);
// Slack allowed over the wire time for a write to leave the port: the adapter's own latency.
inline constexpr std::uint32_t kDrainMarginMs = 50;
} // namespace serial
