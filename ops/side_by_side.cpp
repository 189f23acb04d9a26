#include "ops/side_by_side.h"

#include <atomic>
#include <climits>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "link/commands.h"
#include "link/device_key.h"
#include "link/link.h"
#include "link/seams.h"
#include "ops/frame.h"

namespace ops {

namespace {

// What the port threads share with the thread that waits for them.
class Search {
public:
    // every: each port goes on to its own end, whoever answers (a search for every module).
    explicit Search(bool every) : m_every(every) {}

    // A port that answered: no higher port can be the answer any more.
    void answered(int port)
    {
        int lowest = m_lowestAnswer.load();
        while (port < lowest && !m_lowestAnswer.compare_exchange_weak(lowest, port)) {
        }
    }
    bool outranked(int port) const { return !m_every && m_lowestAnswer.load() < port; }

    void ended(PortSearch outcome)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_ended.push_back(std::move(outcome));
        }
        m_changed.notify_one();
    }
    PortSearch nextEnded()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_ended.empty(); });
        PortSearch outcome = std::move(m_ended.front());
        m_ended.pop_front();
        return outcome;
    }

private:
    const bool m_every;
    std::atomic<int> m_lowestAnswer{INT_MAX};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<PortSearch> m_ended;
};

// One port through its line settings, as the one-at-a-time search takes it: open at the
// setting, two presence tests, close; a port that does not open is left at once.
PortSearch searchPort(int port, const std::vector<int> &indexes, Search &search)
{
    PortSearch out;
    out.port = port;
    serial::Link link;
    link.pumpWhileWaiting = false;   // no window to keep alive: the thread waits in poll()
    for (const int index : indexes) {
        if (search.outranked(port)) {
            out.end = PortSearch::End::Stopped;
            return out;
        }
        out.index = index;
        const serial::OpenResult opened = link.open(port, BaudRateList[std::size_t(index)]);
        out.device = opened.device;
        if (!opened.opened()) {
            out.end = PortSearch::End::NotOpened;
            out.open = opened;
            return out;
        }
        ++out.tried;
        std::optional<std::string> info;
        for (int t = 0; t < kSearchTries && !info && !search.outranked(port); ++t)
            info = presenceTest(link);
        link.close();
        if (link.wentAway()) {
            out.end = PortSearch::End::WentAway;
            return out;
        }
        if (info) {
            search.answered(port);
            out.end = PortSearch::End::Answered;
            out.infoReply = std::move(*info);
            return out;
        }
    }
    out.end = search.outranked(port) ? PortSearch::End::Stopped : PortSearch::End::Silent;
    return out;
}

// The ports first..last that name a device a lower one names already, with that lower port.
std::map<int, int> portsOfTheSameDevice(int first, int last)
{
    std::map<std::string, int> searchedAs;
    std::map<int, int> same;
    for (int port = first; port <= last; ++port) {
        const std::string device = serial::deviceForPort(port);
        if (device.empty())
            continue;
        const auto [it, added] = searchedAs.emplace(serial::deviceKey(device), port);
        if (!added)
            same[port] = it->second;
    }
    return same;
}

// The ports that answered, in port order.
std::vector<PortSearch> runSearch(int first, int last, const std::vector<int> &indexes,
                                  const std::function<void(const PortSearch &)> &finished, bool every)
{
    const std::map<int, int> same = portsOfTheSameDevice(first, last);
    Search search(every);
    std::vector<std::thread> threads;
    {
        // The threads keep the ending signals waiting: the handler runs here, not on a thread
        // that is in the middle of opening a port.
        const serial::EndingSignalsHeld signalsHeld;
        for (int port = first; port <= last; ++port)
            if (!same.count(port))
                threads.emplace_back([port, &indexes, &search] { search.ended(searchPort(port, indexes, search)); });
    }
    for (const auto &[port, searchedAs] : same) {
        PortSearch outcome;
        outcome.port = port;
        outcome.end = PortSearch::End::SameDevice;
        outcome.device = serial::deviceForPort(port);
        outcome.sameAs = searchedAs;
        if (finished)
            finished(outcome);
    }

    std::map<int, PortSearch> answered;
    for (std::size_t n = 0; n < threads.size(); ++n) {
        PortSearch outcome = search.nextEnded();
        if (finished)
            finished(outcome);
        if (outcome.end == PortSearch::End::Answered)
            answered.emplace(outcome.port, std::move(outcome));
    }
    for (std::thread &t : threads)
        t.join();
    std::vector<PortSearch> inOrder;
    for (auto &[port, outcome] : answered)
        inOrder.push_back(std::move(outcome));
    return inOrder;
}

} // namespace

std::optional<PortSearch> searchSideBySide(int first, int last, const std::vector<int> &indexes,
                                           const std::function<void(const PortSearch &)> &finished)
{
    std::vector<PortSearch> answered = runSearch(first, last, indexes, finished, false);
    if (answered.empty())
        return std::nullopt;
    return std::move(answered.front());
}

std::vector<PortSearch> searchEverySideBySide(int first, int last, const std::vector<int> &indexes,
                                              const std::function<void(const PortSearch &)> &finished)
{
    return runSearch(first, last, indexes, finished, true);
}

} // namespace ops
