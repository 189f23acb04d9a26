#pragma once
// FTDI's USB-serial chips keep received bytes until their buffer fills or their latency timer
// runs out (16 ms by default, up to 255 ms), so a short reply reaches the program that much
// after the module sent it. While the program holds an FTDI lead it asks the driver for low
// latency (TIOCSSERIAL with ASYNC_LOW_LATENCY, which needs no root; ftdi_sio then sets the timer
// to 1 ms) and puts the port's flags back at close. Linux only.
#ifdef __linux__

#include <linux/serial.h>

namespace serial::latency {

// The flags a port had before low latency was asked for, to put back.
struct Saved {
    bool saved = false;
    serial_struct flags{};
};

// The latency timer in ms of the FTDI lead behind fd, as sysfs gives it (0 when it does not
// say); -1 when fd is no FTDI lead.
int ftdiTimerMs(int fd);
// Asks the driver of fd for low latency; true when it took the request (or the port had it
// already). What to put back goes into saved.
bool lower(int fd, Saved &saved);
// Puts back the flags of saved, once; only async-signal-safe calls (the signal handler runs it).
void putBack(int fd, Saved &saved);

} // namespace serial::latency

#endif
