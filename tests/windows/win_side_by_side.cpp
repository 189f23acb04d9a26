// The side-by-side part of win_link_check: two ports searched at once, each on a link and
// thread of its own, as telmax-cmd scan --parallel searches them.
#include "win_check.h"

#include <thread>

#include "link/commands.h"
#include "link/link.h"
#include "link/seams.h"

namespace wincheck {

namespace {

// One port of the side-by-side search, on a link of its own: the line settings in order, two
// presence tests at each, until the module answers.
struct PortFound {
    int index = -1;   // the line setting that answered
    std::string reply;
};

PortFound searchPort(int port)
{
    PortFound found;
    serial::Link link;
    link.pumpWhileWaiting = false;
    for (int index = 0; index < kBaudRateCount && found.index < 0; ++index) {
        if (!link.open(port, BaudRateList[std::size_t(index)]).opened())
            break;
        for (int t = 0; t < 2 && found.index < 0; ++t)
            if (link.sendCommand(cmd::moduleInfo()) && link.replyLength == cmd::kInfoReplyLength)
                found = {index, link.lastReply};
        link.close();
    }
    return found;
}

// A port's time-outs as another program leaves them, set through a handle of the check's own.
bool setTimeouts(const std::string &device, COMMTIMEOUTS t)
{
    HANDLE h = rawOpen(device);
    const bool set = h != INVALID_HANDLE_VALUE && SetCommTimeouts(h, &t);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    return set;
}

COMMTIMEOUTS timeoutsOf(const std::string &device)
{
    COMMTIMEOUTS t{};
    HANDLE h = rawOpen(device);
    if (h != INVALID_HANDLE_VALUE) {
        GetCommTimeouts(h, &t);
        CloseHandle(h);
    }
    return t;
}

} // namespace

// Catches ports searched side by side that share what is one port's own: a reply taken from the
// other port, one saved time-out record for both, so that each port is closed with the other's.
void sideBySide(const SideBySidePort &one, const SideBySidePort &two, bool timeoutsKeptBetweenOpens)
{
    const std::string first = serial::deviceForPort(one.port), second = serial::deviceForPort(two.port);
    const COMMTIMEOUTS firstBefore{40, 4, 400, 4, 300}, secondBefore{70, 7, 700, 7, 600};
    if (timeoutsKeptBetweenOpens) {
        setTimeouts(first, firstBefore);
        setTimeouts(second, secondBefore);
    }
    PortFound a, b;
    std::thread other([&b, &two] { b = searchPort(two.port); });
    a = searchPort(one.port);
    other.join();
    const auto right = [](const PortFound &f, const SideBySidePort &p) {
        return f.index >= 0 && cmd::infoSerial(f.reply) == p.serial && baudOf(f.index) == baudOf(p.line);
    };
    const auto found = [](const PortFound &f) {
        return printable(f.reply) + " at " + (f.index >= 0 ? BaudRateList[std::size_t(f.index)] : "-");
    };
    check(right(a, one) && right(b, two),
          "COM" + std::to_string(one.port) + " and COM" + std::to_string(two.port)
              + " searched side by side from two threads: each answers with its own S/N at its own speed",
          found(a) + "; " + found(b));
    if (!timeoutsKeptBetweenOpens) {
        skip("each port of the side-by-side search closed with its own time-outs",
             "the system keeps no time-outs between opens, so none can be seen put back");
        return;
    }
    const COMMTIMEOUTS firstAfter = timeoutsOf(first), secondAfter = timeoutsOf(second);
    check(sameTimeouts(firstAfter, firstBefore) && sameTimeouts(secondAfter, secondBefore),
          "each port of the side-by-side search closed with its own time-outs",
          timeoutsText(firstAfter) + "; " + timeoutsText(secondAfter));
}

} // namespace wincheck
