#include "ops/module_port.h"

#include "link/commands.h"
#include "link/seams.h"
#include "ops/state.h"
#include "settings/settings.h"

namespace ops {

ModulePort modulePort() { return {ScanCommNo, ScanBaudRateNo, ScanBaudRate}; }

void useNamedPort(const std::string &port, std::optional<int> lineIndex)
{
    ScanCommNo = serial::portNumberFor(port);
    if (lineIndex)
        keepLineSetting(*lineIndex);
    ModuleFound = true;   // the named port stands in for a scan that found the module there
}

void keepLineSetting(int index)
{
    ScanBaudRateNo = index;
    ScanBaudRate = BaudRateList[static_cast<std::size_t>(index)];
}

SaveOutcome storeLineSetting()
{
    const SaveResult result = SaveLineSetting();
    return {result.saved, result.saved ? QString() : describe(result)};
}

} // namespace ops
