#include "ops/every_module.h"

#include <thread>

#include "link/commands.h"
#include "ops/frame.h"
#include "ops/module_reading.h"
#include "settings/settings.h"

namespace ops {

std::vector<FoundModule> findEveryModule(bool lock, const std::function<void(const PortSearch &)> &finished)
{
    std::vector<int> indexes;
    if (lock)
        indexes.push_back(ScanBaudRateNo >= 0 && ScanBaudRateNo < kBaudRateCount ? ScanBaudRateNo : kDefaultBaudRateNo);
    else
        for (int index = 0; index < kBaudRateCount; ++index)
            indexes.push_back(index);
    const std::vector<PortSearch> answered = searchEverySideBySide(kFirstSearchPort, kLastSearchPort, indexes, finished);

    std::vector<FoundModule> found(answered.size());
    std::vector<std::thread> threads;
    {
        const serial::EndingSignalsHeld signalsHeld;
        for (std::size_t i = 0; i < answered.size(); ++i) {
            found[i] = {answered[i].port, answered[i].device, answered[i].index, answered[i].infoReply, std::nullopt};
            threads.emplace_back([&module = found[i]] {
                module.version = readModule(module.port, module.lineIndex, 0, true).version;
            });
        }
    }
    for (std::thread &t : threads)
        t.join();
    return found;
}

} // namespace ops
