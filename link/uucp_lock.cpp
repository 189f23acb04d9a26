// The old convention's lock files under /run/lock.
#ifndef _WIN32

#include "uucp_lock.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace serial::uucp {

namespace {

const char kFolder[] = "/run/lock";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The process id in a lock file's bytes: ten ASCII characters and a newline, a plain decimal,
// or (from older programs) a binary int of the machine's own; 0 when it holds none.
int pidIn(const char *text, std::size_t n)
{
    if (n == sizeof(int)) {
        bool ascii = true;
        for (std::size_t i = 0; i < n; ++i)
            ascii = ascii && (isDigit(text[i]) || text[i] == ' ' || text[i] == '\n');
        if (!ascii) {
            int pid = 0;
            std::memcpy(&pid, text, sizeof pid);
            return pid > 0 ? pid : 0;
        }
    }
    std::size_t i = 0;
    while (i < n && text[i] == ' ')
        ++i;
    long pid = 0;
    const std::size_t first = i;
    for (; i < n && isDigit(text[i]); ++i) {
        pid = pid * 10 + (text[i] - '0');
        if (pid > INT_MAX)
            return 0;
    }
    if (i == first)
        return 0;
    while (i < n && (text[i] == '\n' || text[i] == '\r' || text[i] == ' '))
        ++i;
    return i == n ? int(pid) : 0;
}

// A process that may be signalled by someone: one of another user's answers EPERM.
bool running(int pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

std::string programName(int pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/comm", pid);
    std::string name;
    if (std::FILE *comm = std::fopen(path, "r")) {
        char text[64] = {};
        if (std::fgets(text, sizeof text, comm))
            name.assign(text, std::strcspn(text, "\n"));
        std::fclose(comm);
    }
    return name;
}

// A stale file is removed only while it is still the one that was read: another program may
// have put its own lock there since.
void removeIfSame(const std::string &path, const struct stat &read)
{
    struct stat now {};
    if (::lstat(path.c_str(), &now) == 0 && now.st_dev == read.st_dev && now.st_ino == read.st_ino)
        ::unlink(path.c_str());
}

} // namespace

std::string lockPath(const std::string &device)
{
    char real[PATH_MAX];
    if (device.empty() || !::realpath(device.c_str(), real))
        return {};
    std::string name = real;
    name = name.rfind("/dev/", 0) == 0 ? name.substr(5) : name.substr(name.rfind('/') + 1);
    for (char &c : name)
        if (c == '/')
            c = '_';
    return name.empty() ? std::string() : std::string(kFolder) + "/LCK.." + name;
}

LockFile look(const std::string &device)
{
    LockFile lock;
    const std::string path = lockPath(device);
    if (path.empty())
        return lock;
    // Without waiting and without following a link: a FIFO placed under the name would hold
    // the open for good, a link would make another file the lock.
    const int in = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (in < 0) {
        if (errno != ENOENT) {
            lock.state = LockFile::State::NotBelieved;
            lock.path = path;
        }
        return lock;
    }
    lock.path = path;
    struct stat st {};
    char text[64];
    ssize_t n = -1;
    if (::fstat(in, &st) == 0 && S_ISREG(st.st_mode))
        n = ::read(in, text, sizeof text);
    ::close(in);
    const int pid = n > 0 ? pidIn(text, std::size_t(n)) : 0;
    if (pid <= 0) {
        lock.state = LockFile::State::NotBelieved;
        return lock;
    }
    lock.holder.pid = pid;
    if (running(pid)) {
        lock.state = LockFile::State::Live;
        lock.holder.name = programName(pid);
        return lock;
    }
    lock.state = LockFile::State::Stale;
    removeIfSame(path, st);
    return lock;
}

bool writeOwn(const std::string &path, OwnLock &own)
{
    own = OwnLock{};
    if (path.empty() || path.size() >= sizeof own.path)
        return false;
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (out < 0)
        return false;
    char line[16];
    const int n = std::snprintf(line, sizeof line, "%10d\n", int(::getpid()));
    struct stat st {};
    // Readable by every program that looks, whatever this process's umask.
    const bool done = n == 11 && ::fchmod(out, 0644) == 0 && ::write(out, line, 11) == 11 && ::fstat(out, &st) == 0;
    ::close(out);
    if (!done) {
        ::unlink(path.c_str());
        return false;
    }
    std::memcpy(own.path, path.c_str(), path.size() + 1);
    own.dev = st.st_dev;
    own.ino = st.st_ino;
    return true;
}

void removeOwn(OwnLock &own)
{
    if (!own.path[0])
        return;
    struct stat now {};
    if (::lstat(own.path, &now) == 0 && S_ISREG(now.st_mode) && now.st_dev == own.dev && now.st_ino == own.ino)
        ::unlink(own.path);
    own.path[0] = 0;
}

} // namespace serial::uucp

#endif
