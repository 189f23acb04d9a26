#pragma once
// A run of this program for one unit (telmax-cmd --all, watch). The operations keep the module's
// port, line setting and link in the program's own state, one module at a time, so each unit of
// a gang or a station runs in a process of its own: the same operations as a run of its own,
// side by side. The child is in a process group of its own, so a Ctrl+C at the terminal reaches
// only this program, which decides what becomes of a unit in progress. child_run_posix.cpp,
// child_run_win32.cpp.

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
    // Sends sig to the child, while it runs. On Windows, where a child has no signals, SIGINT
    // is a Ctrl+Break to its process group, which the program takes as a Ctrl+C.
    void signal(int sig);

private:
    std::mutex m_mutex;   // the child's process, between wait() and signal() on other threads
#ifdef _WIN32
    void *m_process = nullptr;   // a HANDLE, held until the exit code is read: the id stays the child's
    unsigned long m_pid = 0;
    void *m_out = nullptr;
    void *m_err = nullptr;
#else
    int m_pid = -1;
    int m_out = -1;
    int m_err = -1;
#endif
};

} // namespace tools
