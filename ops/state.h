#pragma once
// The run state the operations share: the gate and the continuous test's flags. The scan
// settings in memory (ScanCommNo, ScanBaudRate, ScanBaudRateNo) are kept with the store in
// settings/; front ends reach them through module_port.h.

namespace ops {

struct RunState {
    bool moduleFound = false;      // the gate: true only after a scan read the module's info and version
    bool processRunning = false;   // the continuous print test goes on (a second activation clears it)
    // From a test's start until its controls are back: an activation meanwhile only asks it
    // to stop (processRunning), it never starts a test of its own.
    bool testHoldsControls = false;

    // As at start-up before the store is read: flags cleared, settings at their defaults,
    // the language English.
    void reset();
};

// The program's one run state; ModuleFound and ProcessRunning are its system names.
extern RunState runState;

} // namespace ops

extern bool &ModuleFound;
extern bool &ProcessRunning;
