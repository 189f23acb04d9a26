#pragma once
// The program at the other end of a pseudo-terminal. A record of a module's configuration says
// whether the module was real: a pty's peer is a program (telmax-sim, socat, QEMU), never a lead.

#include <optional>
#include <string>

#include "port_backend.h"

namespace serial {

// For a device that is the slave side of a pty, the process that holds its master, as the
// system names it; nothing for any other device, or when the system does not tell (another
// user's processes, a kernel without tty-index in /proc/PID/fdinfo, Windows).
std::optional<Holder> ptyPeer(const std::string &device);

// Whether device is the slave side of a pty.
bool isPtySlave(const std::string &device);

} // namespace serial
