#pragma once
// A run of this program for one unit (telmax-cmd --all, watch). The operations keep the module's
// port, line setting and link in the program's own state, one module at a time, so each unit of
// a gang or a station runs in a process of its own: the same operations as a run of its own,
// side by side. The child is in a process group of its own, so a Ctrl+C at the terminal reaches
// only this program, which decides what becomes of a unit in progress.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tools {

class ChildRun {
public:
    ChildRun() = default;
    ~ChildRun();
    ChildRun(const ChildRun &) = delete;
    ChildRun &operator=(const ChildRun &) = delete;

    // Starts this program with args (stdin empty); false, with the reason in error, when it
    // cannot be started.
    bool start(const std::vector<std::string> &args, std::string &error);
    // Reads the child's stdout and stderr until it ends, handing each line (without its line feed)
    // to onOut or onErr on the calling thread; then its exit status (1 when a signal ended it).
    int wait(const std::function<void(const std::string &)> &onOut,
             const std::function<void(const std::string &)> &onErr);
    // Sends sig to the child, while it runs.
    void signal(int sig);

private:
    std::mutex m_mutex;   // m_pid, between wait() and signal() on other threads
    int m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

} // namespace tools
