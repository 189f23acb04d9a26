#pragma once
// What the ports of a watch share: when to stop, the S/Ns done in this run, the IDs set-id NN+
// hands out, the worst exit status so far, and the lines for the operator, one at a time.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>

namespace tools {

class Station {
public:
    bool stopping() const;
    // Ends the watch; status counts towards its exit status.
    void stop(int status = 0);
    // Waits until then, or until the watch ends; false when it ends.
    bool waitUntil(std::chrono::steady_clock::time_point then);

    bool done(const std::string &serial) const;
    void markDone(const std::string &serial);

    // The offset from NN of the next ID set-id NN+ gives; a unit that failed gives its own back,
    // so the IDs of the units done run on without a gap.
    int takeIdOffset();
    void giveBackIdOffset(int offset);

    void noteStatus(int status);
    int status() const;

    // Held while a unit's results, its line and its tone go out, so that units never mix them.
    std::mutex &output() { return m_output; }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopping = false;
    int m_status = 0;
    std::set<std::string> m_done;
    int m_nextOffset = 0;
    std::set<int> m_givenBack;
    std::mutex m_output;
};

} // namespace tools
