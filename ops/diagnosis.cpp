#include "ops/diagnosis.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "link/commands.h"
#include "link/device_key.h"
#include "link/link.h"
#include "link/listening_port.h"
#include "link/seams.h"
#include "ops/diagnosis_heard.h"
#include "ops/frame.h"

namespace ops {

Finding findingOf(serial::OpenFailure failure)
{
    switch (failure) {
    case serial::OpenFailure::Busy:
        return Finding::Busy;
    case serial::OpenFailure::Permission:
        return Finding::Denied;
    case serial::OpenFailure::Excluded:
        return Finding::Excluded;
    case serial::OpenFailure::None:
    case serial::OpenFailure::NoDevice:
    case serial::OpenFailure::Missing:
    case serial::OpenFailure::NotSerial:
    case serial::OpenFailure::Other:
        break;
    }
    // No serial line there to listen to: no device, none at that name, no UART behind it.
    return Finding::Missing;
}

namespace {

serial::LineErrors countedSince(const serial::LineErrors &before, const serial::LineErrors &after)
{
    return {after.framing - before.framing, after.parity - before.parity, after.overrun - before.overrun,
            after.breaks - before.breaks};
}

// The findings that place the module at the line setting just tried: no other setting can
// answer, and none says more.
bool settles(Finding f) { return f == Finding::Module || f == Finding::Echo || f == Finding::Checksum || f == Finding::Late; }

// The presence tests of one line setting, each heard to the end of its listening time.
TryVerdict trySetting(serial::Link &link, serial::ListeningPort &listening)
{
    TryVerdict best;
    for (int t = 0; t < kSearchTries; ++t) {
        listening.take(link.handle);
        const std::optional<std::string> info = presenceTest(link);
        if (!info)
            listening.listenUntil(link.handle, kListenMs);
        const TryVerdict heard = readHeard(listening.take(link.handle), info);
        if (saysMore(heard.finding, best.finding) || (heard.finding == Finding::Garbage && best.garbage.empty()))
            best = heard;
        if (heard.finding == Finding::Module || heard.finding == Finding::Echo || link.wentAway())
            break;
    }
    return best;
}

void take(PortDiagnosis &d, const TryVerdict &v, int index)
{
    if (v.finding == Finding::Garbage) {
        d.garbageAt.push_back(index);
        if (d.garbage.empty()) {
            d.garbage = v.garbage;
            d.replyLength = v.replyLength;
        }
    }
    if (!saysMore(v.finding, d.finding))
        return;
    d.finding = v.finding;
    d.lineIndex = index;
    d.infoReply = v.infoReply;
    d.lateMs = v.lateMs;
}

PortDiagnosis diagnoseOne(int port, serial::ListeningPort &listening, const std::function<void(int, int)> &trying)
{
    PortDiagnosis d;
    d.port = port;
    serial::Link link;
    link.pumpWhileWaiting = false;   // no window to keep alive
    std::optional<serial::LineErrors> first, last;
    for (int index = 0; index < kBaudRateCount; ++index) {
        if (trying)
            trying(port, index);
        d.open = link.open(port, BaudRateList[std::size_t(index)]);
        d.device = d.open.device;
        if (!d.open.opened()) {
            d.finding = findingOf(d.open.failure);
            break;
        }
        ++d.tried;
        serial::LineErrors counts;
        if (!first && serial::backend().lineErrors(link.handle, counts))
            first = counts;
        const TryVerdict v = trySetting(link, listening);
        if (serial::backend().lineErrors(link.handle, counts))
            last = counts;
        link.close();
        if (link.wentAway()) {
            d.wentAway = true;
            d.finding = Finding::Missing;
            break;
        }
        take(d, v, index);
        if (settles(d.finding))
            break;
    }
    if (first && last)
        d.errors = countedSince(*first, *last);
    return d;
}

// Ports as they end, from their threads to the calling one.
class Ended {
public:
    void put(std::size_t slot, PortDiagnosis d)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_ended.emplace_back(slot, std::move(d));
        }
        m_changed.notify_one();
    }
    std::pair<std::size_t, PortDiagnosis> next()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_ended.empty(); });
        auto ended = std::move(m_ended.front());
        m_ended.pop_front();
        return ended;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<std::size_t, PortDiagnosis>> m_ended;
};

// For each slot of ports, the slot of a lower port that names the same device (else itself).
std::vector<std::size_t> firstOfEachDevice(const std::vector<int> &ports)
{
    std::map<std::string, std::size_t> seen;
    std::vector<std::size_t> first(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const std::string device = serial::deviceForPort(ports[i]);
        first[i] = device.empty() ? i : seen.emplace(serial::deviceKey(device), i).first->second;
    }
    return first;
}

} // namespace

std::vector<PortDiagnosis> diagnosePorts(const std::vector<int> &ports,
                                         const std::function<void(const PortDiagnosis &)> &finished,
                                         const std::function<void(int port, int lineIndex)> &trying)
{
    serial::ListeningPort listening(serial::backend());
    const serial::SeamsGuard guard(serial::Seams{&listening, {}});
    std::vector<PortDiagnosis> out(ports.size());
    if (ports.size() == 1) {
        out[0] = diagnoseOne(ports[0], listening, trying);
        if (finished)
            finished(out[0]);
        return out;
    }
    const std::vector<std::size_t> first = firstOfEachDevice(ports);
    Ended ended;
    std::vector<std::thread> threads;
    {
        // The ending signals wait on the threads: the handler runs here.
        const serial::EndingSignalsHeld signalsHeld;
        for (std::size_t i = 0; i < ports.size(); ++i)
            if (first[i] == i)
                threads.emplace_back([&, i] { ended.put(i, diagnoseOne(ports[i], listening, {})); });
    }
    for (std::size_t n = 0; n < threads.size(); ++n) {
        auto [slot, d] = ended.next();
        out[slot] = std::move(d);
        if (finished)
            finished(out[slot]);
    }
    for (std::thread &t : threads)
        t.join();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (first[i] == i)
            continue;
        out[i] = out[first[i]];
        out[i].port = ports[i];
        out[i].sameAs = ports[first[i]];
        if (finished)
            finished(out[i]);
    }
    return out;
}

} // namespace ops
