#pragma once
// The run state the operations share: the gate and the continuous test's flags. The scan
// settings in memory (ScanCommNo, ScanBaudRate, ScanBaudRateNo) are kept with the store in
// settings/; front ends reach them through module_port.h.

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
