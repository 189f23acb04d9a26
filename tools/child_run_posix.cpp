// A unit's run on POSIX: posix_spawn in a process group of its own, the output read in poll().
#include "tools/child_run.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace tools {

namespace {

std::string selfPath()
{
    char path[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, std::size_t(n)) : std::string("telmax-cmd");
}

// The attributes of the child: a process group of its own, no signal held back (the thread
// that starts it holds the ending signals), the ending signals and SIGPIPE at their defaults.
class SpawnAttributes {
public:
    SpawnAttributes()
    {
        ::posix_spawnattr_init(&m_attr);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
            sigaddset(&defaults, sig);
        ::posix_spawnattr_setpgroup(&m_attr, 0);
        ::posix_spawnattr_setsigmask(&m_attr, &none);
        ::posix_spawnattr_setsigdefault(&m_attr, &defaults);
        ::posix_spawnattr_setflags(&m_attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&m_attr); }
    const posix_spawnattr_t *get() const { return &m_attr; }

private:
    posix_spawnattr_t m_attr;
};

// Hands each whole line of what came to on; keeps the rest for the next read.
void splitLines(std::string &pending, const std::function<void(const std::string &)> &on)
{
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
        on(pending.substr(0, end));
        pending.erase(0, end + 1);
    }
}

} // namespace

ChildRun::~ChildRun()
{
    for (int fd : {m_out, m_err})
        if (fd >= 0)
            ::close(fd);
    if (m_pid > 0)
        ::waitpid(m_pid, nullptr, 0);
}

bool ChildRun::start(const std::vector<std::string> &args, std::string &error)
{
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    ::posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    const std::string program = selfPath();
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const SpawnAttributes attributes;
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, attributes.get(), argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    m_out = out[0];
    m_err = err[0];
    if (spawned != 0) {
        error = program + ": " + std::strerror(spawned);
        return false;
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_pid = pid;
    return true;
}

int ChildRun::wait(const std::function<void(const std::string &)> &onOut,
                   const std::function<void(const std::string &)> &onErr)
{
    std::string pending[2];
    const std::function<void(const std::string &)> *on[2] = {&onOut, &onErr};
    int fds[2] = {m_out, m_err};
    while (fds[0] >= 0 || fds[1] >= 0) {
        pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i] < 0 || !(p[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i], buffer, sizeof buffer);
            if (n > 0) {
                pending[i].append(buffer, std::size_t(n));
                splitLines(pending[i], *on[i]);
            } else if (n == 0 || errno != EINTR) {
                if (!pending[i].empty())
                    (*on[i])(pending[i]);
                ::close(fds[i]);
                fds[i] = -1;
            }
        }
    }
    m_out = m_err = -1;
    if (m_pid <= 0)
        return 1;
    // Waited for without reaping, so that signal() never reaches a process id used again.
    siginfo_t info {};
    while (::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

void ChildRun::signal(int sig)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pid > 0)
        ::kill(m_pid, sig);
}

} // namespace tools
