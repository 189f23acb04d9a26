// The table of held ports, the signal handler that puts them back, and the exclusivity markers.
#ifndef _WIN32

#include "held_ports.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace serial::held {

namespace {

constexpr int kFree = -1;
constexpr int kFilling = -2;

struct Entry {
    std::atomic<int> fd{kFree};
    termios saved{};
    std::atomic<bool> exclusive{false};
    char marker[96] = {};   // path of our marker, empty when none was left
};

// Enough for every port a search can hold at once.
constexpr int kEntries = 64;
Entry g_entries[kEntries];

Entry *find(int fd)
{
    for (Entry &e : g_entries)
        if (e.fd.load() == fd)
            return &e;
    return nullptr;
}

// Only async-signal-safe calls.
void restoreEntry(Entry &e, int fd)
{
    ::tcsetattr(fd, TCSANOW, &e.saved);
    if (e.exclusive.exchange(false))
        ::ioctl(fd, TIOCNXCL);
    if (e.marker[0])
        ::unlink(e.marker);
    e.marker[0] = 0;
}

// --- markers ---------------------------------------------------------------------------------
// /run/lock is the system's folder for serial-line locks; a marker names the device by its
// numbers and holds the process id of the run that made the device exclusive.

const char kMarkerFolder[] = "/run/lock";

bool markerPath(int fd, char *out, std::size_t size)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const int n = std::snprintf(out, size, "%s/telmax-exclusive.%u.%u", kMarkerFolder, major(st.st_rdev),
                                minor(st.st_rdev));
    return n > 0 && std::size_t(n) < size;
}

void writeMarker(Entry &e, int fd)
{
    char path[sizeof e.marker];
    if (!markerPath(fd, path, sizeof path))
        return;
    // A marker left by an ended run of ours is replaced; anything else (another user's file, a
    // link someone placed) is left alone and no marker is written.
    int out = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (out < 0 && errno == EEXIST) {
        struct stat st {};
        if (::lstat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && ::unlink(path) == 0)
            out = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    }
    if (out < 0)
        return;
    char line[32];
    const int n = std::snprintf(line, sizeof line, "%d\n", int(::getpid()));
    const bool written = n > 0 && ::write(out, line, std::size_t(n)) == n;
    ::close(out);
    if (!written) {
        ::unlink(path);
        return;
    }
    std::memcpy(e.marker, path, sizeof path);
}

// The file name of a process's program, or empty when it cannot be read.
std::string programOf(int pid)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/%d/exe", pid);
    char exe[4096];
    const ssize_t n = ::readlink(link, exe, sizeof exe - 1);
    if (n <= 0)
        return {};
    const std::string path(exe, std::size_t(n));
    return path.substr(path.rfind('/') + 1);
}

// --- the handler -----------------------------------------------------------------------------

constexpr int kEndingSignals[] = {
    SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV, SIGUSR2,
    SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGIO
    SIGIO,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};
constexpr int kMaxSignal = 65;
struct sigaction g_previous[kMaxSignal];
bool g_installed = false;

extern "C" void restoreAndEnd(int sig, siginfo_t *info, void *context)
{
    for (Entry &e : g_entries) {
        const int fd = e.fd.load();
        int expected = fd;
        if (fd < 0 || !e.fd.compare_exchange_strong(expected, kFilling))
            continue;
        restoreEntry(e, fd);
        ::close(fd);   // drops the lock too
        e.fd.store(kFree);
    }
    const struct sigaction &previous = g_previous[sig];
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction) {
            previous.sa_sigaction(sig, info, context);
            return;
        }
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN && previous.sa_handler) {
        previous.sa_handler(sig);
        return;
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

} // namespace

bool add(int fd, const termios &saved)
{
    for (Entry &e : g_entries) {
        int expected = kFree;
        if (!e.fd.compare_exchange_strong(expected, kFilling))
            continue;
        e.saved = saved;
        e.exclusive = false;
        e.marker[0] = 0;
        e.fd.store(fd);
        return true;
    }
    return false;
}

void exclusiveSet(int fd)
{
    Entry *e = find(fd);
    if (!e)
        return;
    e->exclusive = true;
    writeMarker(*e, fd);
}

void restore(int fd)
{
    Entry *e = find(fd);
    if (!e)
        return;
    int expected = fd;
    if (!e->fd.compare_exchange_strong(expected, kFilling))
        return;   // a signal is putting it back
    restoreEntry(*e, fd);
    e->fd.store(kFree);
}

void installSignalHandlers()
{
    struct sigaction action {};
    action.sa_sigaction = restoreAndEnd;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    // The others wait while one is handled, so each port is put back once.
    for (int sig : kEndingSignals)
        sigaddset(&action.sa_mask, sig);
    for (int sig : kEndingSignals) {
        // Only the first time: a later call must not take our own handler for the previous one.
        ::sigaction(sig, &action, g_installed ? nullptr : &g_previous[sig]);
    }
    ::signal(SIGPIPE, SIG_IGN);
    g_installed = true;
}

int exclusivityLeftBy(int fd)
{
    char path[96];
    if (!markerPath(fd, path, sizeof path))
        return 0;
    const int in = ::open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0)
        return 0;
    char text[32] = {};
    const ssize_t n = ::read(in, text, sizeof text - 1);
    ::close(in);
    if (n <= 0)
        return 0;
    const int pid = std::atoi(text);
    if (pid <= 0)
        return 0;
    if (::kill(pid, 0) != 0 && errno == ESRCH)
        return pid;
    // The number is in use: by a run of ours that holds the port now (busy in the ordinary
    // way), or by a process the system has given the number to since.
    const std::string program = programOf(pid);
    return program.empty() || program.rfind("telmax-", 0) == 0 ? 0 : pid;
}

} // namespace serial::held

#endif
