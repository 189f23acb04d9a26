#pragma once
// What a technician is told about a port, in telmax-cmd's words (stderr, --ports) and the scan's
// notes: why it did not open and what to do, that it went away, what became of it in a search
// side by side. The facts come from the link as values (serial::OpenResult, PortSearch); device
// paths and process names in them are shown with their control characters visible.

#include <QString>
#include <string>

#include "link/port_backend.h"
#include "ops/side_by_side.h"

namespace ops {

// Why port (COMn or a device path, as the user named it) did not open, after its device:
// "busy, another program holds the port (minicom (pid 812))". A port that names no device has
// no device to come after: its whole line ("COM40 names no device (add ...)").
QString openFailureReason(const std::string &port, const serial::OpenResult &result);
// The device and the reason, one line: "/dev/ttyUSB0: no such device (cable unplugged or wrong
// port?)"; a port that names no device as above.
QString openFailureText(const std::string &port, const serial::OpenResult &result);
// What a user who may not open a device can do: join the group that may, log in again when the
// group was given since the session began, or ask the administrator.
QString deniedAdvice(const serial::OpenResult &result);
// A lock file an open did not obey (stale, or not a lock file at all); empty for none.
QString lockFileNote(const serial::LockFile &lock);
// The udev rule that keeps ModemManager from probing a USB device, with how to put it in place.
QString modemManagerRule(const std::string &vendorId, const std::string &productId);
// The latency timer of an FTDI lead that stays as it is when it leaves the module's reply too
// little of the window at line (the reply's own time on the line taken off): its ms, else 0.
int slowLatencyMs(const serial::OpenResult &open, const std::string &line);
// Such a lead, and how to lower its timer.
QString slowLatencyText(const std::string &device, int timerMs);
// A USB serial lead that has no tty: what holds it (the interface's driver now, empty for none;
// the programs that have the USB device open; whether brltty runs) and the fix, which this
// program does not apply itself.
QString leadWithoutTtyText(const std::string &serialDriver, const std::string &claimedBy,
                           const std::vector<serial::Holder> &holders, bool brlttyRunning);
// A port that hung up while the program used it (serial::Link::wentAway).
QString wentAwayText(const std::string &device);
// One line for a port of the side-by-side search as it ends: "COM5 /dev/ttyUSB0: no answer at
// 19200,e,8,1".
QString portSearchLine(const PortSearch &search);

} // namespace ops
