#pragma once
// What a module says of itself at a port and line setting that are known already, read on a
// link of its own, so any thread may read a module of its own: a station's check whether a
// unit is there, the version read of a search for every module, and the check after a change
// that the module took it. The link waits for replies in poll(), pumping no window.

#include <optional>
#include <string>

#include "link/port_backend.h"

namespace ops {

struct ModuleReading {
    serial::OpenResult open;              // open.opened() false: why the port did not open
    bool wentAway = false;                // the port hung up while it was read
    std::optional<std::string> info;      // the info reply of a presence test (S/N, ID)
    std::optional<std::string> version;   // the firmware version, when asked for and read
};

// Opens port at line setting lineIndex, makes up to infoTries presence tests (none: the module
// was found already) and, when withVersion and the module answered or was found, reads its
// version as a scan does after finding it (a pause, then up to two tries); closes the port.
ModuleReading readModule(int port, int lineIndex, int infoTries, bool withVersion);

// The fields of an info reply, as the module sent them.
std::string serialOf(const std::string &infoReply);
std::string idOf(const std::string &infoReply);

} // namespace ops
