// The table of held ports, the signal handler that puts them back, and the exclusivity markers.
#ifndef _WIN32

#include "held_ports.h"

#include "latency_posix.h"
#include "port_backend.h"
#include "uucp_lock.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace serial::held {

namespace {

constexpr int kFree = -1;
constexpr int kBusy = -2;

struct Entry {
    std::atomic<int> fd{kFree};        // kFree, kBusy, or the descriptor of a held port
    std::atomic<pid_t> busyBy{0};      // the thread that has the entry busy, 0 when none
    std::atomic<int> heldFd{-1};       // the descriptor, also while the entry is busy
    termios saved{};
    bool exclusive = false;            // TIOCEXCL set here
    char marker[96] = {};              // path of our marker, empty when none was left
    uucp::OwnLock lock;                // our lock file of the old convention
#ifdef __linux__
    latency::Saved serialFlags;        // the flags before low latency was asked for
#endif
};

// Enough for every port a search can hold at once.
constexpr int kEntries = 64;
Entry g_entries[kEntries];
std::atomic<bool> g_ending{false};

Entry *find(int fd)
{
    for (Entry &e : g_entries)
        if (e.fd.load() == fd)
            return &e;
    return nullptr;
}

// The entry from expected (kFree or a descriptor) to busy, for this thread.
bool take(Entry &e, int expected)
{
    if (!e.fd.compare_exchange_strong(expected, kBusy))
        return false;
    e.busyBy.store(::gettid());
    return true;
}

// Whose the entry was is forgotten first, so that a handler never mistakes another thread's
// busy entry for its own.
void release(Entry &e, int to)
{
    e.busyBy.store(0);
    e.fd.store(to);
}

// Only async-signal-safe calls.
void restoreEntry(Entry &e, int fd)
{
#ifdef __linux__
    latency::putBack(fd, e.serialFlags);
#endif
    ::tcsetattr(fd, TCSANOW, &e.saved);
    if (e.exclusive)
        ::ioctl(fd, TIOCNXCL);
    e.exclusive = false;
    if (e.marker[0])
        ::unlink(e.marker);
    e.marker[0] = 0;
    uucp::removeOwn(e.lock);
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

// Puts back the port of e once nobody else is changing it. A busy entry of this very thread
// was interrupted by a fault in the middle of its change and is left as it is; any other thread
// holds the ending signals while its entry is busy and is not held up by this one.
void putBackWhenFree(Entry &e, pid_t self)
{
    for (;;) {
        const int fd = e.fd.load();
        if (fd == kFree)
            return;
        if (fd == kBusy) {
            if (e.busyBy.load() == self)
                return;
            ::poll(nullptr, 0, 1);
            continue;
        }
        if (!take(e, fd))
            continue;
        restoreEntry(e, fd);
        // The descriptor stays open: closed here, its number could come back to another
        // thread's open while the threads that used it still run.
        ::flock(fd, LOCK_UN);
        release(e, kFree);
        return;
    }
}

extern "C" void restoreAndEnd(int sig, siginfo_t *info, void *context)
{
    // First, so that no port is taken from here on that the loop below could miss.
    g_ending.store(true);
    const pid_t self = ::gettid();
    for (Entry &e : g_entries)
        putBackWhenFree(e, self);
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

bool ending() { return g_ending.load(); }

int add(int fd, const termios &saved)
{
    for (int i = 0; i < kEntries; ++i) {
        Entry &e = g_entries[i];
        if (!take(e, kFree))
            continue;
        e.heldFd = fd;
        e.saved = saved;
        e.exclusive = false;
        e.marker[0] = 0;
        e.lock = uucp::OwnLock{};
#ifdef __linux__
        e.serialFlags = latency::Saved{};
#endif
        // After the entry is taken: a handler that began before this test is waiting for it.
        if (g_ending.load()) {
            release(e, kFree);
            return -1;
        }
        return i;
    }
    return -1;
}

void exclusiveSet(int entry)
{
    Entry &e = g_entries[entry];
    e.exclusive = true;
    writeMarker(e, e.heldFd);
}

void writeLock(int entry, const std::string &path)
{
    uucp::writeOwn(path, g_entries[entry].lock);
}

bool lowerLatency(int entry)
{
#ifdef __linux__
    Entry &e = g_entries[entry];
    return latency::lower(e.heldFd.load(), e.serialFlags);
#else
    (void)entry;
    return false;
#endif
}

void publish(int entry) { release(g_entries[entry], g_entries[entry].heldFd.load()); }

bool change(int fd, const std::function<bool()> &change)
{
    const EndingSignalsHeld held;
    Entry *e = find(fd);
    if (!e || !take(*e, fd))
        return false;
    const bool done = change();
    release(*e, fd);
    return done;
}

// A signal's handler on another thread is putting back the port of fd.
bool beingPutBack(int fd)
{
    for (Entry &e : g_entries)
        if (e.fd.load() == kBusy && e.heldFd.load() == fd)
            return true;
    return false;
}

void restore(int fd)
{
    const EndingSignalsHeld held;
    for (;;) {
        Entry *e = find(fd);
        if (e && take(*e, fd)) {
            restoreEntry(*e, fd);
            release(*e, kFree);
            return;
        }
        // The caller closes fd next: not while the handler still puts the port back through it.
        if (!beingPutBack(fd))
            return;
        ::poll(nullptr, 0, 1);
    }
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

int exclusivityLeftBy(int fd, std::string &ignored)
{
    char path[96];
    if (!markerPath(fd, path, sizeof path))
        return 0;
    // Opened without waiting and without following a link: a FIFO placed under the name would
    // hold the open for good.
    const int in = ::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (in < 0) {
        if (errno != ENOENT)
            ignored = path;
        return 0;
    }
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_uid != 0 && st.st_uid != ::geteuid())) {
        ::close(in);
        ignored = path;
        return 0;
    }
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

// --- the signals held back on a thread --------------------------------------------------------

namespace {

// The ending signals that come from outside the thread. Faults (SIGSEGV, SIGBUS, ...) belong
// to the thread that makes them and are never held back: a held fault ends the program
// without the handler.
sigset_t asynchronousEndingSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kEndingSignals)
        if (sig != SIGILL && sig != SIGTRAP && sig != SIGBUS && sig != SIGFPE && sig != SIGSEGV && sig != SIGSYS
            && sig != SIGXFSZ)
            sigaddset(&set, sig);
    return set;
}

} // namespace

} // namespace serial::held

namespace serial {

EndingSignalsHeld::EndingSignalsHeld()
{
    static_assert(sizeof(sigset_t) <= sizeof m_saved, "room for a signal mask");
    static const sigset_t held = held::asynchronousEndingSignals();
    ::pthread_sigmask(SIG_BLOCK, &held, reinterpret_cast<sigset_t *>(m_saved));
}

EndingSignalsHeld::~EndingSignalsHeld()
{
    ::pthread_sigmask(SIG_SETMASK, reinterpret_cast<const sigset_t *>(m_saved), nullptr);
}

} // namespace serial

#endif
