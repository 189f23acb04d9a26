#include "tools/station.h"

#include "tools/exit_status.h"

namespace tools {

bool Station::stopping() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopping;
}

void Station::stop(int status)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_status = worstExit(m_status, status);
    }
    m_changed.notify_all();
}

bool Station::waitUntil(std::chrono::steady_clock::time_point then)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_changed.wait_until(lock, then, [this] { return m_stopping; });
}

bool Station::done(const std::string &serial) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_done.count(serial) > 0;
}

void Station::markDone(const std::string &serial)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_done.insert(serial);
}

int Station::takeIdOffset()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_givenBack.empty())
        return m_nextOffset++;
    const int offset = *m_givenBack.begin();
    m_givenBack.erase(m_givenBack.begin());
    return offset;
}

void Station::giveBackIdOffset(int offset)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_givenBack.insert(offset);
}

void Station::noteStatus(int status)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_status = worstExit(m_status, status);
}

int Station::status() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_status;
}

} // namespace tools
