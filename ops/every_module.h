#pragma once
// Every module on the ports a search covers, not only the first (telmax-cmd scan --all): the
// side-by-side search with no port stopped by another's answer, then each module's version,
// read side by side too. A gang of modules on a line is found in the time of one port's search.
// Nothing is stored: a remembered port stands for one module.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/port_backend.h"
#include "ops/side_by_side.h"

namespace ops {

struct FoundModule {
    int port = 0;
    std::string device;
    int lineIndex = 0;                    // the line setting it answered at
    std::string infoReply;                // S/N and ID (serialOf, idOf)
    std::optional<std::string> version;   // nothing when the version read failed
};

// The search at the remembered line setting on each port (lock) or at all twelve; finished
// hears of each port as it ends, on the calling thread. The modules found, in port order.
std::vector<FoundModule> findEveryModule(bool lock, const std::function<void(const PortSearch &)> &finished);

} // namespace ops
