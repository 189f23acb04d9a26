#include "ops/every_module.h"

#include <map>
#include <mutex>
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

    // A module's version is read as soon as its port has answered, while the other ports are
    // still searched: the search for every module costs what its slowest port costs.
    std::mutex mutex;
    std::map<int, std::optional<std::string>> versions;
    std::vector<std::thread> readers;
    const auto ended = [&](const PortSearch &port) {
        if (finished)
            finished(port);
        if (port.end != PortSearch::End::Answered)
            return;
        const serial::EndingSignalsHeld signalsHeld;
        readers.emplace_back([&mutex, &versions, number = port.port, index = port.index] {
            std::optional<std::string> version = readModule(number, index, 0, true).version;
            const std::lock_guard<std::mutex> lock(mutex);
            versions[number] = std::move(version);
        });
    };
    const std::vector<PortSearch> answered = searchEverySideBySide(kFirstSearchPort, kLastSearchPort, indexes, ended);
    for (std::thread &t : readers)
        t.join();

    std::vector<FoundModule> found;
    for (const PortSearch &p : answered)
        found.push_back({p.port, p.device, p.index, p.infoReply, versions[p.port]});
    return found;
}

} // namespace ops
