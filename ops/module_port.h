#pragma once
// The port and line setting the operations work on: where a scan found the module, a port a
// front end names itself (telmax-cmd --port), and the line setting the module was given since.

#include <QString>
#include <optional>
#include <string>

namespace ops {

struct ModulePort {
    int number = 0;        // the COM number (kDevicePathPort for a port named by its device path)
    int lineIndex = 0;     // the remembered line setting, 0 to 11
    std::string line;      // its text, "19200,e,8,1", as the port is opened with it
};

// The port the next operation opens.
ModulePort modulePort();

// The operations work on port (COMn or a device path), at the line setting given, else at the
// remembered one, as after a scan that found the module there.
void useNamedPort(const std::string &port, std::optional<int> lineIndex);

// Set Module Baud Rate and Factory Default: the module runs at index from now on, so the next
// operation opens the port there. Only a scan's search stores it.
void keepLineSetting(int index);

// What became of storing a line setting: saved, or the stores' refusals for people.
struct SaveOutcome {
    bool saved = false;
    QString refusal;
};

// The line setting kept since the module was given it, stored where a scan stores it: a run that
// ends with the operation (telmax-cmd) would otherwise look for the module at the old one next
// time.
SaveOutcome storeLineSetting();

} // namespace ops
