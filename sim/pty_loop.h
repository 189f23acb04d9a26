#pragma once
// The simulator's outer loop: a pseudo-terminal whose slave side the program opens as its
// serial port, the module behind the master, and the faults that are about timing.

#include <string>

#include "module.h"

namespace sim {

struct LoopOptions {
    ModuleState state;
    Faults faults;
    int delayMs = 0;        // before a reply starts
    int trickleMs = 0;      // between the bytes of a reply
    int hangupAfter = 0;    // close the pty and end after this many commands (0: never)
    std::string linkPath;   // symlink to the slave, removed at exit
    std::string paperPath;  // printed bytes are appended here
    std::string logPath;    // one JSON object per line
};

// Runs until SIGTERM, SIGINT or SIGHUP, or until the hang-up fault ends it.
// Prints the slave's path as the first line of stdout. Returns the exit status:
// 0 on a clean end, 1 when the pty or a file cannot be set up.
int runSimulator(const LoopOptions &options);

} // namespace sim
