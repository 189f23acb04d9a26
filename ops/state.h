#pragma once
// Run flags shared by the operations.

extern bool ModuleFound;      // the gate: true only after a scan read the module's info and version
extern bool ProcessRunning;   // a continuous print test is running
