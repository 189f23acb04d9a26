#pragma once
// The run state the operations share: the gate, the continuous test's flags, and the scan
// settings in memory (ScanCommNo, ScanBaudRate, ScanBaudRateNo, kept with the store in
// settings/, which loads and saves them).

#include "settings/settings.h"

namespace ops {

struct RunState {
    bool moduleFound = false;      // the gate: true only after a scan read the module's info and version
    bool processRunning = false;   // a continuous print test is running (a second activation clears it)
    bool testActive = false;       // from a test's start until its controls are back

    // As at start-up before the store is read: flags cleared, settings at their defaults,
    // the language English.
    void reset();
};

extern RunState run;

} // namespace ops

extern bool &ModuleFound;
extern bool &ProcessRunning;
