// --audit on POSIX: O_APPEND, flock, fsync.
#include "tools/audit_log.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tools {

namespace {

std::string reason(const std::string &path, int error) { return path + ": " + std::strerror(error); }

// Under the lock: whether the file ends in the middle of a line (a writer that crashed).
bool endsInsideALine(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size == 0)
        return false;
    char last = '\n';
    return ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n';
}

class FileLock {
public:
    explicit FileLock(int fd) : m_fd(fd)
    {
        int r;
        while ((r = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        m_locked = r == 0;
    }
    ~FileLock()
    {
        if (m_locked)
            ::flock(m_fd, LOCK_UN);
    }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    bool locked() const { return m_locked; }

private:
    int m_fd;
    bool m_locked = false;
};

} // namespace

std::unique_ptr<AuditLog> AuditLog::open(const std::string &path, std::string &error)
{
    // Without waiting: a FIFO that nobody reads would hold the run at the open.
    // Read too: the last byte tells whether a crashed writer left a line open.
    constexpr int kFlags = O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::open(path.c_str(), O_RDWR | kFlags, 0644);
    if (fd < 0 && errno == EACCES)
        fd = ::open(path.c_str(), O_WRONLY | kFlags, 0644);   // a file only appended to: no such repair
    if (fd < 0) {
        error = reason(path, errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = path + ": not a regular file (the record is a file an auditor reads later)";
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::unique_ptr<AuditLog>(new AuditLog(fd, path));
}

AuditLog::~AuditLog() { ::close(m_file); }

bool AuditLog::append(const std::string &line, std::string &error)
{
    const FileLock lock(m_file);
    if (!lock.locked()) {
        error = reason(m_path, errno);
        return false;
    }
    const std::string whole = (endsInsideALine(m_file) ? "\n" : "") + line + "\n";
    struct stat before {};
    ::fstat(m_file, &before);
    ssize_t written;
    while ((written = ::write(m_file, whole.data(), whole.size())) < 0 && errno == EINTR) {
    }
    const int writeError = written < 0 ? errno : ENOSPC;
    if (written != ssize_t(whole.size())) {
        // Half a record would read as a broken one: what went in comes out again.
        if (written > 0 && ::ftruncate(m_file, before.st_size) != 0)
            error = reason(m_path, errno) + " (a part of the record stays in the file)";
        else
            error = reason(m_path, writeError);
        return false;
    }
    if (::fsync(m_file) != 0) {
        error = reason(m_path, errno);
        return false;
    }
    return true;
}

} // namespace tools
