#pragma once
// What the benchmark programs share: wall and CPU clocks, and (on POSIX) telmax-sim as a
// child process. On Windows the simulator runs outside (under Wine, on the Linux side of a COM
// port), so the programs are given the ports instead.

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

#ifndef TELMAX_SIM_PATH
#define TELMAX_SIM_PATH "telmax-sim"
#endif

namespace bench {

#ifdef _WIN32

inline double nowMs()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) * 1e3 / double(frequency.QuadPart);
}

// CPU time of this process, user and kernel.
inline double cpuMs()
{
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto ms = [](const FILETIME &t) {
        return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;   // 100 ns units
    };
    return ms(kernel) + ms(user);
}

#else

inline double nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// CPU time of this process, user and system.
inline double cpuMs()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3
         + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

// telmax-sim with the given options; device is the pty it printed, empty when it did not start.
struct SimChild {
    pid_t pid = -1;
    std::string device;

    explicit SimChild(const std::string &exe, std::vector<std::string> options = {})
    {
        int out[2];
        if (pipe(out) != 0)
            return;
        pid = fork();
        if (pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            std::vector<char *> argv;
            argv.push_back(const_cast<char *>(exe.c_str()));
            for (auto &o : options)
                argv.push_back(o.data());
            argv.push_back(nullptr);
            execv(exe.c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n')
            device += c;
        close(out[0]);
    }
    ~SimChild()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    SimChild(const SimChild &) = delete;
    SimChild &operator=(const SimChild &) = delete;
};

#endif

} // namespace bench
