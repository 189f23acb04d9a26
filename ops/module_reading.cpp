#include "ops/module_reading.h"

#include "link/commands.h"
#include "link/link.h"
#include "ops/frame.h"
#include "platform/hooks.h"

namespace ops {

namespace {

std::optional<std::string> versionRead(serial::Link &link)
{
    for (int t = 0; t < kVersionTries; ++t) {
        platform::SleepMs(kPacingMs);
        const serial::Reply version = link.exchange(cmd::firmwareVersion());
        if (version.verified)
            return cmd::versionText(version.text);
    }
    return std::nullopt;
}

} // namespace

ModuleReading readModule(int port, int lineIndex, int infoTries, bool withVersion)
{
    ModuleReading out;
    serial::Link link;
    link.pumpWhileWaiting = false;
    const int index = lineIndex >= 0 && lineIndex < kBaudRateCount ? lineIndex : kDefaultBaudRateNo;
    out.open = link.open(port, BaudRateList[std::size_t(index)]);
    if (!out.open.opened())
        return out;
    for (int t = 0; t < infoTries && !out.info; ++t)
        out.info = presenceTest(link);
    if (withVersion && (out.info || infoTries == 0))
        out.version = versionRead(link);
    link.close();
    out.wentAway = link.wentAway();
    return out;
}

std::string serialOf(const std::string &infoReply) { return cmd::infoSerial(infoReply); }
std::string idOf(const std::string &infoReply) { return cmd::infoId(infoReply); }

} // namespace ops
