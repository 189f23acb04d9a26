#pragma once
// The search of Scan Module with the ports side by side (telmax-cmd scan --parallel): every port
// goes through its line settings in order with the frames, pauses, tries and reply windows of the
// one-at-a-time search, each on a link and a thread of its own, so the search costs what its
// slowest port costs. The answer is the one the one-at-a-time search gives: the lowest port that
// answers, at the first line setting in order that answers there.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/port_backend.h"
#include "ops/module_view.h"

namespace ops {

// What became of one port.
struct PortSearch {
    // WentAway: the port hung up during the search. SameDevice: a lower port names its device.
    enum class End { Answered, Silent, NotOpened, Stopped, WentAway, SameDevice };
    int port = 0;
    End end = End::Silent;
    std::string device;
    int index = -1;              // Answered: the line setting that answered; otherwise the last tried
    int tried = 0;               // line settings tried
    serial::OpenResult open;     // NotOpened: why
    std::string infoReply;       // Answered: the reply that found the module
    int sameAs = 0;              // SameDevice: the port searched for the device
};

// Searches ports first..last, each trying the line settings in indexes in order (two presence
// tests each). A device two ports name is searched once, under the lower port: opened twice at
// once, it would be busy to itself. A port stops as soon as a lower port has answered: it
// cannot be the answer any more. finished runs on the calling thread as each port ends, in the
// order they end. The lowest port that answered, or nothing.
std::optional<PortSearch> searchSideBySide(int first, int last, const std::vector<int> &indexes,
                                           const std::function<void(const PortSearch &)> &finished);

// The same search with no port stopped by another's answer: every port goes through its line
// settings to its end (telmax-cmd scan --all). The ports that answered, in port order.
std::vector<PortSearch> searchEverySideBySide(int first, int last, const std::vector<int> &indexes,
                                              const std::function<void(const PortSearch &)> &finished);

// Scan Module with this search in place of the one-at-a-time one (telmax-cmd scan --parallel);
// finished hears of each port as it ends.
void scanModuleSideBySide(ModuleView &view, const std::function<void(const PortSearch &)> &finished);

} // namespace ops
